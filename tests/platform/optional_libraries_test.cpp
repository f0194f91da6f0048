// libsmbclient, GIO and libsecret are opened only when a call first needs them. These tests run a
// second copy of this program with a folder of stand-ins first on the library search path, as on
// a machine where those libraries are missing or of another make: every call that needs one must
// answer with an error code and a trace line, never crash, and the rest must go on working.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/credential_store.h"
#include "platform/gvfs_mount.h"
#include "platform/secret_service.h"
#include "platform/smb_network_provider.h"
#include "platform/trace.h"
#include "support/library_stand_ins.h"
#include "support/temp_user_dirs.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kChildVariable = "DRIVESCOUT_TEST_LIBRARY_STAND_INS";

bool inChild() {
    return std::getenv(kChildVariable) != nullptr;
}

TEST(OptionalLibraries, MissingOrForeignLibrariesGiveErrorCodesNotCrashes) {
    if (inChild())
        GTEST_SKIP() << "the child runs only its own tests";
    ds::test::TempUserDirs user;
    for (const ds::test::StandIn kind : ds::test::kStandIns) {
        const std::string how = ds::test::standInName(kind);
        SCOPED_TRACE(how);
        const fs::path folder = user.root() / how;
        ds::test::makeStandIns(folder, kind,
                               {"libsmbclient.so.0", "libgio-2.0.so.0", "libsecret-1.so.0"});
        const ds::test::ChildRun run =
            ds::test::runWithStandIns(folder, "OptionalLibrariesChild.*", kChildVariable, how);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find("[  PASSED  ] 3 tests"), std::string::npos) << run.output;
    }
}

// What the child expects of the trace line of a library that could not be loaded.
std::string expectedFailure(const std::string& soname) {
    const std::string how = std::getenv(kChildVariable);
    return soname + " could not be loaded: " + (how == "foreign" ? "no symbol " : std::string());
}

bool traced(const TraceCapture& capture, const std::string& start) {
    for (const std::string& line : capture.lines()) {
        if (line.rfind(start, 0) == 0)
            return true;
    }
    return false;
}

// The child's tests: a user of their own, and a session bus address where no bus answers.
class OptionalLibrariesChild : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!inChild())
            GTEST_SKIP() << "runs in a child with stand-in libraries";
        user_ = std::make_unique<ds::test::TempUserDirs>();
        user_->setEnv("DBUS_SESSION_BUS_ADDRESS",
                      "unix:path=" + (user_->root() / "no-bus").string());
    }

    std::unique_ptr<ds::test::TempUserDirs> user_;
};

TEST_F(OptionalLibrariesChild, SharesAnswerThatNoNetworkIsThere) {
    TraceCapture capture;
    SmbNetworkProvider provider;
    NetResource resource;
    resource.remoteName = u"\\\\127.0.0.1\\Public";
    // Asked twice: the library is tried once, and the second call answers the same.
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(provider.addConnection(resource, u"", u"", 0), kErrorNoNetwork);
        std::unique_ptr<NetEnumeration> enumeration;
        NetResource server;
        server.remoteName = u"\\\\127.0.0.1";
        EXPECT_EQ(provider.openEnum(kResourceGlobalNet, kResourceTypeAny, 0, server, enumeration),
                  kErrorNoNetwork);
    }
    EXPECT_TRUE(traced(capture, expectedFailure("libsmbclient.so.0")));
    EXPECT_EQ(capture.lines().size(), 1u);
}

TEST_F(OptionalLibrariesChild, NoGioMeansNoMounting) {
    user_->setEnv("DRIVESCOUT_GVFS", std::nullopt);
    TraceCapture capture;
    EXPECT_FALSE(gvfsAvailable());
    EXPECT_EQ(gvfsUnmount("smb://127.0.0.1/Public/"), kErrorNotConnected);
    EXPECT_FALSE(gvfsIsMounted("smb://127.0.0.1/Public/"));
    EXPECT_EQ(gvfsLocation("smb://127.0.0.1/Public/"), "smb://127.0.0.1/Public/");
    EXPECT_TRUE(traced(capture, expectedFailure("libgio-2.0.so.0")));
    EXPECT_TRUE(traced(capture, "gvfs: GIO could not be loaded"));
}

TEST_F(OptionalLibrariesChild, CredentialsGoToTheFileWithoutLibsecret) {
    user_->setEnv("DRIVESCOUT_CREDENTIAL_STORE", std::nullopt);
    EXPECT_FALSE(secretServiceAvailable());
    EXPECT_EQ(credentialBackendName(), "file");
    Credential credential;
    credential.targetName = u"127.0.0.1";
    credential.userName = u"alice";
    credential.blob = passwordBlob(u"wonderland");
    ASSERT_EQ(writeCredential(credential), kNoError);
    Credential read;
    ASSERT_EQ(readCredential(kCredentialTypeDomainPassword, u"127.0.0.1", read), kNoError);
    EXPECT_EQ(read.userName, u"alice");
    EXPECT_EQ(passwordFromBlob(read.blob), u"wonderland");
    // Called directly, the Secret Service's own functions refuse rather than crash.
    EXPECT_NE(secretServiceStore(credential, u"wonderland"), kNoError);
    EXPECT_EQ(secretServiceLookup(kCredentialTypeDomainPassword, u"127.0.0.1", read),
              kErrorFileNotFound);
}

}  // namespace
}  // namespace platform
