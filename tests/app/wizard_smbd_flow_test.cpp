// The wizard's flow against a real Samba server (Public for guests, alice and bob for their
// owners) through the SMB network provider: the device chosen maps Public, a wrong password is
// refused by the server and shown in red, the right one gives the user's drive, and "Skip" keeps
// Public only. Runs in a private network namespace; skips where smbd cannot run.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_dlg.h"
#include "platform/smb_network_provider.h"
#include "qt_test_app.h"
#include "support/netns.h"
#include "support/smbd_fixture.h"
#include "wizard_window.h"
#include "wizard_world.h"

namespace wizardtest {
namespace {

class WizardOverSmbTest : public WizardWorld {
  protected:
    static void SetUpTestSuite() {
        if (ds::test::inPrivateNetworkNamespace()) {
            server_ = ds::test::SmbdServer::start(whyNot_);
        }
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        DS_REQUIRE_PRIVATE_NETNS();
        if (!server_) {
            GTEST_SKIP() << whyNot_;
        }
        WizardWorld::SetUp();
        user_.setEnv("DRIVESCOUT_SMB_PORT", std::to_string(server_->port()));
        user_.setEnv("DRIVESCOUT_GVFS", "0");
        // The in-memory network of the world gives way to the real one.
        platform::setNetworkProvider(std::make_unique<platform::SmbNetworkProvider>());
        network_ = nullptr;
        installed_ = true;
    }
    void TearDown() override {
        if (!installed_) {
            return;
        }
        // Leave the shared server without connections of ours.
        for (const char16_t* drive : {u"Z:", u"Y:", u"X:"}) {
            platform::networkProvider().cancelConnection(drive, true);
        }
        WizardWorld::TearDown();
    }

    void ReachSignIn(Wizard& wizard) {
        Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault", server_->address()));
        Settle();
        wizard.DiscoveryPage()->OnListClick(0);
        ASSERT_TRUE(wizard.OnSignIn());
    }
    static void SignIn(Wizard& wizard, const std::string& user, const std::string& password) {
        CDeviceLoginDlg& page = *wizard.SignInPage();
        auto* users = page.GetDlgItemAs<QComboBox>(1008);
        users->setCurrentIndex(users->findText(QString::fromStdString(user)));
        page.GetDlgItemAs<QLineEdit>(1010)->setText(QString::fromStdString(password));
        page.GetDlgItemAs<QPushButton>(1007)->click();
    }

    static inline std::unique_ptr<ds::test::SmbdServer> server_;
    static inline std::string whyNot_;
    bool installed_ = false;
};

TEST_F(WizardOverSmbTest, WrongThenRightPasswordGivesPublicAndTheUsersDrive) {
    Wizard wizard;
    ReachSignIn(wizard);
    EXPECT_EQ(g_NasContext.strPublicDrive.ToUtf8(), "Z:");

    SignIn(wizard, "alice", "not-" + ds::test::SmbdServer::passwordOf("alice"));
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(Text(*wizard.SignInPage(), 1026), "Wrong Password");
    EXPECT_TRUE(wizard.SignInPage()->GetDlgItem(1029)->isVisibleTo(wizard.SignInPage()));

    SignIn(wizard, "alice", ds::test::SmbdServer::passwordOf("alice"));
    ASSERT_TRUE(wizard.OnDone());
    EXPECT_EQ(Text(*wizard.DonePage(), 1031), "Z: Public");
    EXPECT_EQ(Text(*wizard.DonePage(), 1033), "Y: alice");
    EXPECT_EQ(Text(*wizard.DonePage(), 1034), "You are logged in as \"alice\"");
    std::u16string remote;
    ASSERT_EQ(platform::networkProvider().getConnection(u"Y:", remote), 0u);
    EXPECT_EQ(LBString::FromUtf16(remote).ToUtf8(), "\\\\" + server_->address() + "\\alice");
}

TEST_F(WizardOverSmbTest, SkipKeepsPublicOnly) {
    Wizard wizard;
    ReachSignIn(wizard);
    wizard.SignInPage()->GetDlgItemAs<QPushButton>(1009)->click();
    ASSERT_TRUE(wizard.OnDone());
    EXPECT_EQ(Text(*wizard.DonePage(), 1031), "Z: Public");
    EXPECT_FALSE(wizard.DonePage()->GetDlgItem(1033)->isVisibleTo(wizard.DonePage()));
    EXPECT_EQ(Text(*wizard.DonePage(), 1034),
              "Because you are not logged in to this drive, only public drive folder can be "
              "assigned.");
}

}  // namespace
}  // namespace wizardtest
