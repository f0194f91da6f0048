#include "platform/gvfs_mount.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/trace.h"
#include "support/temp_user_dirs.h"

namespace platform {
namespace {

size_t gvfsLines(const TraceCapture& capture) {
    const std::vector<std::string> lines = capture.lines();
    return static_cast<size_t>(std::count_if(
        lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("gvfs:"); }));
}

// Without a session bus nothing is mounted, nothing waits, and the trace says so once.
TEST(GvfsWithoutSession, MountsNothingAndSaysSoOnce) {
    ds::test::TempUserDirs user;
    user.setEnv("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    user.setEnv("DRIVESCOUT_GVFS", std::nullopt);
    TraceCapture capture;
    const std::string url = "smb://127.0.0.1:1139/Public/";
    EXPECT_FALSE(gvfsAvailable());
    EXPECT_EQ(gvfsMount(url, {}).error, kNoError);
    EXPECT_FALSE(gvfsIsMounted(url));
    EXPECT_EQ(gvfsLocation(url), url);
    EXPECT_EQ(gvfsUnmount(url), kErrorNotConnected);
    EXPECT_EQ(gvfsLines(capture), 1u);
}

TEST(GvfsWithoutSession, TurnedOffOnPurposeIsNoNews) {
    ds::test::TempUserDirs user;
    user.setEnv("DRIVESCOUT_GVFS", "0");
    TraceCapture capture;
    EXPECT_FALSE(gvfsAvailable());
    EXPECT_EQ(gvfsLines(capture), 0u);
}

}  // namespace
}  // namespace platform
