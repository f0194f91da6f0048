// Drive letters for the Public folder and a user's folder against a real Samba server, through
// the SMB network provider and the SDK's mapping.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "app/nas/drive_letters.h"
#include "platform/network_provider.h"
#include "platform/smb_network_provider.h"
#include "sdk/upnp_sdk.h"
#include "support/netns.h"
#include "support/smbd_fixture.h"
#include "support/temp_user_dirs.h"

namespace nas {
namespace {

class DriveLettersOverSmbTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (ds::test::inPrivateNetworkNamespace())
            server_ = ds::test::SmbdServer::start(whyNot_);
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        DS_REQUIRE_PRIVATE_NETNS();
        if (!server_)
            GTEST_SKIP() << whyNot_;
        user_.emplace();
        user_->setEnv("DRIVESCOUT_SMB_PORT", std::to_string(server_->port()));
        user_->setEnv("DRIVESCOUT_GVFS", "0");
        previous_ = platform::setNetworkProvider(std::make_unique<platform::SmbNetworkProvider>());
        installed_ = true;
        context_.session = &block_;
        context_.strAddress = LBString::FromUtf8(server_->address());
    }
    void TearDown() override {
        if (!installed_)
            return;
        // Leave the shared server without connections of ours.
        for (const char16_t* drive : {u"Z:", u"Y:", u"X:"})
            platform::networkProvider().cancelConnection(drive, true);
        platform::setNetworkProvider(std::move(previous_));
    }

    static inline std::unique_ptr<ds::test::SmbdServer> server_;
    static inline std::string whyNot_;
    std::optional<ds::test::TempUserDirs> user_;
    std::unique_ptr<platform::NetworkProvider> previous_;
    bool installed_ = false;
    UPnPSessionBlock block_{};
    NasContext context_;
};

// The wizard's path: Public as guest when the device is chosen, the user's folder at sign-in;
// at the next start the user's drive is found again, and signing out removes both.
TEST_F(DriveLettersOverSmbTest, PublicThenUsersFolderThenSignOut) {
    const std::string address = server_->address();
    ASSERT_EQ(MapPublicFolder(context_), 0);
    EXPECT_EQ(context_.strPublicDrive.ToUtf8(), "Z:");
    EXPECT_EQ(context_.strPublicPath.ToUtf8(), "\\\\" + address + "\\Public");
    // Choosing the device again reuses the drive.
    ASSERT_EQ(MapPublicFolder(context_), 0);
    EXPECT_EQ(context_.strPublicDrive.ToUtf8(), "Z:");

    const LBString password = LBString::FromUtf8(ds::test::SmbdServer::passwordOf("alice"));
    ASSERT_EQ(MapPrivateFolder(context_, u"alice", password, nullptr), 0);
    EXPECT_EQ(context_.strPrivateDrive.ToUtf8(), "Y:");
    EXPECT_EQ(context_.strPrivatePath.ToUtf8(), "\\\\" + address + "\\alice");
    EXPECT_EQ(context_.strUserName.ToUtf8(), "alice");

    NasContext next;
    next.session = &block_;
    next.strAddress = context_.strAddress;
    ASSERT_EQ(FindPrivateMapping(next), 1);
    EXPECT_EQ(next.strPrivateDrive.ToUtf8(), "Y:");
    EXPECT_EQ(next.strUserName.ToUtf8(), "alice");
    ASSERT_EQ(MapPublicFolder(next), 0);
    EXPECT_EQ(next.strPublicDrive.ToUtf8(), "Z:");
    // The drive found in place is taken once the password is proven.
    ASSERT_EQ(MapPrivateFolder(next, u"alice", password,
                               [](const LBString&, const LBString&) { return int32_t(0); }),
              0);
    EXPECT_EQ(next.strPrivateDrive.ToUtf8(), "Y:");

    EXPECT_EQ(SignOutPreviousUser(next), 0);
    std::u16string remote;
    EXPECT_EQ(platform::networkProvider().getConnection(u"Y:", remote), 2250u);
    EXPECT_EQ(platform::networkProvider().getConnection(u"Z:", remote), 2250u);
}

}  // namespace
}  // namespace nas
