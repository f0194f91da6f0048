// The whole product in one test, as the demo shows it: the NAS simulator announces a Homevault
// at 127.0.0.1 and answers its web requests, a real Samba server shares its folders, and the
// wizard finds it by SSDP (the SDK's own discovery stack), chooses it when the countdown ends,
// refuses a wrong password, signs in with the right one and opens the web application with a
// token. Runs in a private network namespace; skips where smbd or the simulator cannot run.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_dlg.h"
#include "platform/smb_network_provider.h"
#include "qt_test_app.h"
#include "sdk/discovery_stack.h"
#include "support/netns.h"
#include "support/smbd_fixture.h"
#include "wizard_window.h"
#include "wizard_world.h"

namespace wizardtest {
namespace {

// Long enough for a search and a description fetch before the countdown (120 s scaled) ends.
constexpr double kFlowTimeScale = 0.05;
constexpr int kFlowWatchdogMs = 30000;

class WizardWithSimulatorTest : public WizardWorld {
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
        const std::string program = std::string(DRIVESCOUT_BINARY_DIR) + "/drivescout-nas-sim";
        if (!std::filesystem::exists(program)) {
            GTEST_SKIP() << "the NAS simulator is not built";
        }
        WizardWorld::SetUp();
        installed_ = true;
        WindowTimers::SetTimeScale(kFlowTimeScale);
        user_.setEnv("DRIVESCOUT_SMB_PORT", std::to_string(server_->port()));
        user_.setEnv("DRIVESCOUT_GVFS", "0");
        platform::setNetworkProvider(std::make_unique<platform::SmbNetworkProvider>());
        network_ = nullptr;
        // The SDK's own discovery, over the namespace's loopback.
        sdk::setDiscoveryStack(nullptr);

        const uint16_t port = ds::test::freeTcpPort(server_->address());
        WizardWebApiSettings().port = port;
        const std::string passwords = "alice=" + ds::test::SmbdServer::passwordOf("alice") +
                                      ",bob=" + ds::test::SmbdServer::passwordOf("bob");
        simulator_.setProcessChannelMode(QProcess::MergedChannels);
        simulator_.start(
            QString::fromStdString(program),
            {"--homevault", "1", "--base-address", QString::fromStdString(server_->address()),
             "--http-port", QString::number(port), "--users", "alice,bob", "--password",
             QString::fromStdString(passwords), "--answer-at-once", "--duration", "60",
             "--exit-on-eof"});
        ASSERT_TRUE(simulator_.waitForStarted(5000));
        QByteArray output;
        while (!output.contains("ready\n") && simulator_.waitForReadyRead(5000)) {
            output += simulator_.readAll();
        }
        ASSERT_TRUE(output.contains("ready\n")) << output.toStdString();
    }

    void TearDown() override {
        if (!installed_) {
            return;
        }
        if (simulator_.state() != QProcess::NotRunning) {
            simulator_.closeWriteChannel();
            if (!simulator_.waitForFinished(5000)) {
                simulator_.kill();
                simulator_.waitForFinished(2000);
            }
        }
        for (const char16_t* drive : {u"Z:", u"Y:", u"X:"}) {
            platform::networkProvider().cancelConnection(drive, true);
        }
        WizardWorld::TearDown();
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
    QProcess simulator_;
    bool installed_ = false;
};

TEST_F(WizardWithSimulatorTest, FoundChosenSignedInAndDone) {
    Wizard wizard;
    CDeviceDiscDlg& discovery = *wizard.DiscoveryPage();
    // Tests running side by side in the namespace may announce devices of their own: ours is
    // the one whose description comes from our simulator's port.
    const std::string location =
        "http://" + server_->address() + ":" + std::to_string(WizardWebApiSettings().port) + "/";
    auto ourRow = [&discovery, &location]() {
        for (size_t i = 0; i < discovery.Devices().size(); ++i) {
            if (LBString(discovery.Devices()[i]->GetLocationURL()).ToUtf8().rfind(location, 0) ==
                0) {
                return int(i);
            }
        }
        return -1;
    };
    ASSERT_TRUE(WaitUntil([&] { return ourRow() >= 0; }, kFlowWatchdogMs));
    EXPECT_EQ(discovery.RowTexts()[size_t(ourRow())].toStdString(), "Homevault 1");
    EXPECT_TRUE(wizard.DiscoveryPage()->isVisibleTo(&wizard));

    // Alone in the list it is chosen when the countdown ends; with others, by a click.
    ASSERT_TRUE(WaitUntil([&] { return wizard.OnSignIn() || discovery.Devices().size() > 1; },
                          kFlowWatchdogMs));
    if (!wizard.OnSignIn()) {
        discovery.OnListClick(ourRow());
    }
    ASSERT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(g_NasContext.strAddress.ToUtf8(), server_->address());
    EXPECT_EQ(g_NasContext.strPublicDrive.ToUtf8(), "Z:");
    auto* users = wizard.SignInPage()->GetDlgItemAs<QComboBox>(1008);
    ASSERT_EQ(users->count(), 2);
    EXPECT_EQ(users->itemText(0).toStdString(), "alice");
    EXPECT_EQ(users->itemText(1).toStdString(), "bob");

    SignIn(wizard, "bob", "not-" + ds::test::SmbdServer::passwordOf("bob"));
    EXPECT_EQ(Text(*wizard.SignInPage(), 1026), "Wrong Password");
    SignIn(wizard, "bob", ds::test::SmbdServer::passwordOf("bob"));
    ASSERT_TRUE(wizard.OnDone());
    EXPECT_EQ(Text(*wizard.DonePage(), 1031), "Z: Public");
    EXPECT_EQ(Text(*wizard.DonePage(), 1033), "Y: bob");

    wizard.DonePage()->GetDlgItemAs<QPushButton>(1012)->click();
    ASSERT_EQ(opened_.size(), 1u);
    // The simulator's web application hands out a sign-in token for the right password.
    EXPECT_EQ(opened_[0].rfind("http://" + server_->address(), 0), 0u) << opened_[0];
    EXPECT_NE(opened_[0].find("token"), std::string::npos) << opened_[0];
    EXPECT_EQ(wizard.result(), IDOK);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 3u);
    const std::string device = "Homevault 1(" + server_->address() + ")";
    EXPECT_EQ(messages[0], "Map public folder of " + device + " successfully!");
    EXPECT_EQ(
        messages[1].rfind("Login device " + device + " with user bob failed! error code: ", 0), 0u)
        << messages[1];
    EXPECT_EQ(messages[2], "Login device " + device + " with user bob successfully!");
}

}  // namespace
}  // namespace wizardtest
