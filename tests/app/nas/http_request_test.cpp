// libcurl is opened when the first request to the NAS's web application needs it. Where it is
// missing, or another library stands under its soname, a request fails as a NAS out of reach
// would, with a trace line, and nothing crashes. The test runs a second copy of this program with
// a folder holding such a stand-in first on the library search path.

#include "app/nas/http_request.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/trace.h"
#include "support/library_stand_ins.h"
#include "support/temp_user_dirs.h"

namespace nas {
namespace {

namespace fs = std::filesystem;

// Set in the second copy: the file its test writes once it has passed.
constexpr const char* kStandInVariable = "DRIVESCOUT_TEST_CURL_STAND_IN";

TEST(HttpRequestTest, AMissingOrForeignLibcurlFailsTheRequestWithoutACrash) {
    if (std::getenv(kStandInVariable) != nullptr)
        GTEST_SKIP() << "the second copy runs only its own tests";
    ds::test::TempUserDirs user;
    for (const ds::test::StandIn kind : ds::test::kStandIns) {
        const std::string how = ds::test::standInName(kind);
        SCOPED_TRACE(how);
        const fs::path folder = user.root() / how;
        ds::test::makeStandIns(folder, kind, {"libcurl.so.4"});
        const fs::path passed = user.root() / (how + "-passed");
        const ds::test::ChildRun run =
            ds::test::runWithStandIns(folder, "WithoutLibcurl.*", kStandInVariable, passed);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_TRUE(fs::exists(passed));
    }
}

TEST(WithoutLibcurl, RequestsFailAsIfTheNasWereOutOfReach) {
    if (std::getenv(kStandInVariable) == nullptr)
        GTEST_SKIP() << "runs in the second copy only";
    platform::TraceCapture trace;
    HttpRequest request;
    request.url = "http://127.0.0.1:9/get_users";
    for (int i = 0; i < 2; ++i) {
        const HttpResponse response = performHttpRequest(request, HttpLimits{});
        EXPECT_FALSE(response.completed);
        EXPECT_EQ(response.status, 0);
        EXPECT_EQ(response.attempts, 0);
        EXPECT_EQ(response.error, "libcurl could not be loaded");
    }
    // Told once: the answer is kept for the life of the process.
    size_t told = 0;
    for (const std::string& line : trace.lines())
        told += line.rfind("libcurl.so.4 could not be loaded", 0) == 0 ? 1 : 0;
    EXPECT_EQ(told, 1u);
    if (!HasFailure())
        std::ofstream(std::getenv(kStandInVariable)) << "passed\n";
}

}  // namespace
}  // namespace nas
