// Whole flows of the wizard as a user meets them: a device found and chosen, the sign-in page
// with its outcomes, the done page and the browser, in English and in German. The NAS is an
// in-memory Windows network plus a loopback web server; devices come through the SDK core.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/dialog_templates.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_app.h"
#include "app/drive_scout_dlg.h"
#include "app/load_text.h"
#include "app/qt_text.h"
#include "app/static_control.h"
#include "framework/prompt_translation.h"
#include "qt_test_app.h"
#include "resources/string_ids.h"
#include "wizard_window.h"
#include "wizard_world.h"

namespace wizardtest {
namespace {

// Sign-in page controls.
constexpr int kSelectDifferentDrive = 1016;
constexpr int kSignInButton = 1007;
constexpr int kUserList = 1008;
constexpr int kPassword = 1010;
constexpr int kSkip = 1009;
constexpr int kExplanation = 1015;
constexpr int kErrorIcon = 1024;
constexpr int kErrorText = 1026;
constexpr int kErrorMark = 1029;
// Done page controls.
constexpr int kDoneButton = 1012;
constexpr int kLaunchHint = 1032;
constexpr int kPublicLine = 1031;
constexpr int kPublicIcon = 1039;
constexpr int kPrivateIcon = 1040;
constexpr int kPrivateLine = 1033;
constexpr int kSignedInLine = 1034;
constexpr int kCongratulations = 1037;

const char* const kNotLoggedIn =
    "Because you are not logged in to this drive, only public drive folder can be assigned.";

bool Shown(const CBaseDiscDlg& page, int id) {
    return page.GetDlgItem(id)->isVisibleTo(&page);
}

void Click(const CBaseDiscDlg& page, int id) {
    page.GetDlgItemAs<QPushButton>(id)->click();
}

class WizardFlowTest : public WizardWorld {
  protected:
    // A wizard on the sign-in page of "Homevault" at 127.0.0.1, chosen with a click.
    void ReachSignIn(Wizard& wizard) {
        Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
        Settle();
        wizard.DiscoveryPage()->OnListClick(0);
        ASSERT_TRUE(wizard.OnSignIn());
    }
    static void ChooseUser(Wizard& wizard, const char* user, const char* password) {
        CDeviceLoginDlg& page = *wizard.SignInPage();
        auto* users = page.GetDlgItemAs<QComboBox>(kUserList);
        users->setCurrentIndex(users->findText(QString::fromUtf8(user)));
        auto* edit = page.GetDlgItemAs<QLineEdit>(kPassword);
        edit->setText(QString::fromUtf8(password));
    }
    // Every logged message, to check that no password is in any.
    void ExpectNoPasswordLogged() const {
        for (const std::string& message : Messages()) {
            EXPECT_EQ(message.find("wonderland"), std::string::npos) << message;
            EXPECT_EQ(message.find("builder"), std::string::npos) << message;
            EXPECT_EQ(message.find("wrong-one"), std::string::npos) << message;
        }
    }
};

TEST_F(WizardFlowTest, SignInPageShowsItsTextsAndNoError) {
    Wizard wizard;
    ReachSignIn(wizard);
    CDeviceLoginDlg& page = *wizard.SignInPage();
    EXPECT_EQ(Text(page, kSignInButton), "Sign in");
    EXPECT_EQ(Text(page, kSkip), "Skip");
    EXPECT_EQ(Text(page, kSelectDifferentDrive), "Select a different drive");
    EXPECT_EQ(Text(page, 1035), "Username:");
    EXPECT_EQ(Text(page, 1036), "Password:");
    EXPECT_EQ(Text(page, kExplanation),
              "The Drive Scout has detected multiple users and assigned drives for this network "
              "drive.Select a user and sign in.\nIf you don't sign in, the Drive Scout cannot "
              "assign a Private folder to a drive on your computer.");
    for (int id : {kErrorIcon, kErrorText, kErrorMark}) {
        EXPECT_FALSE(Shown(page, id)) << id;
    }
    EXPECT_EQ(page.ControlTextColor(*page.GetDlgItem(kExplanation)), QColor(102, 102, 102));
    EXPECT_EQ(page.ControlTextColor(*page.GetDlgItem(kErrorText)), QColor(190, 18, 17));
}

TEST_F(WizardFlowTest, WrongPasswordThenTheRightOneLeadsToTheDonePageWithBothDrives) {
    Wizard wizard;
    ReachSignIn(wizard);
    CDeviceLoginDlg& page = *wizard.SignInPage();

    ChooseUser(wizard, "alice", "wrong-one");
    Click(page, kSignInButton);
    EXPECT_TRUE(wizard.OnSignIn());
    for (int id : {kErrorIcon, kErrorText, kErrorMark}) {
        EXPECT_TRUE(Shown(page, id)) << id;
    }
    EXPECT_EQ(Text(page, kErrorText), "Wrong Password");
    EXPECT_EQ(Messages().back(),
              "Login device Homevault(127.0.0.1) with user alice failed! error code: 1326");
    EXPECT_EQ(log_.events().back().type, kWizardEventError);

    ChooseUser(wizard, "alice", "wonderland");
    Click(page, kSignInButton);
    ASSERT_TRUE(wizard.OnDone());
    EXPECT_FALSE(Shown(page, kErrorText));
    EXPECT_EQ(Messages().back(), "Login device Homevault(127.0.0.1) with user alice successfully!");
    EXPECT_EQ(log_.events().back().type, kWizardEventInformation);

    CDiscDoneDlg& done = *wizard.DonePage();
    EXPECT_EQ(wizard.Header(), "Drive Scout: Assign");
    EXPECT_EQ(Text(done, 1013), "Homevault");
    EXPECT_TRUE(Shown(done, kPublicIcon));
    EXPECT_EQ(Text(done, kPublicLine), "Z: Public");
    EXPECT_TRUE(Shown(done, kPrivateIcon));
    EXPECT_TRUE(Shown(done, kPrivateLine));
    EXPECT_EQ(Text(done, kPrivateLine), "Y: alice");
    EXPECT_EQ(Text(done, kSignedInLine), "You are logged in as \"alice\"");
    EXPECT_EQ(Text(done, kLaunchHint),
              "Click \"Done\" to close the Drive Scout and launch Homevault.");
    EXPECT_EQ(Text(done, kCongratulations),
              "Congratulations! You've assigned drive(s) to your network drive.");
    EXPECT_EQ(done.ControlTextColor(*done.GetDlgItem(kCongratulations)), QColor(115, 190, 42));
    EXPECT_EQ(Text(done, kDoneButton), "Done");
    ExpectNoPasswordLogged();
}

TEST_F(WizardFlowTest, AnEmptyPasswordIsAWrongPasswordToo) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "bob", "");
    Click(*wizard.SignInPage(), kSignInButton);
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(Text(*wizard.SignInPage(), kErrorText), "Wrong Password");
    EXPECT_EQ(Messages().back(),
              "Login device Homevault(127.0.0.1) with user bob failed! error code: 86");
}

TEST_F(WizardFlowTest, AConflictWithoutAKnownOtherUserShowsTheCheckPowerText) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "alice", "wonderland");
    network_->failNextAdd(1219);
    Click(*wizard.SignInPage(), kSignInButton);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(Text(*wizard.SignInPage(), kErrorText).rfind("Make sure that Homevault has power", 0),
              0u);
    EXPECT_EQ(Messages().back(),
              "Login device Homevault(127.0.0.1) with user alice failed! error code: 1219");
}

TEST_F(WizardFlowTest, ChangingTheUserClearsThePassword) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "bob", "builder");
    auto* users = wizard.SignInPage()->GetDlgItemAs<QComboBox>(kUserList);
    users->setCurrentIndex(users->findText(QStringLiteral("alice")));
    EXPECT_TRUE(Text(*wizard.SignInPage(), kPassword).empty());
}

TEST_F(WizardFlowTest, SkipShowsOnlyThePublicDrive) {
    Wizard wizard;
    ReachSignIn(wizard);
    Click(*wizard.SignInPage(), kSkip);
    ASSERT_TRUE(wizard.OnDone());
    CDiscDoneDlg& done = *wizard.DonePage();
    EXPECT_EQ(Text(done, kPublicLine), "Z: Public");
    EXPECT_FALSE(Shown(done, kPrivateLine));
    EXPECT_FALSE(Shown(done, kPrivateIcon));
    EXPECT_EQ(Text(done, kSignedInLine), kNotLoggedIn);

    // "Done" opens the plain address: nobody signed in, no token asked for.
    const size_t requestsBefore = web_->requests().size();
    Click(done, kDoneButton);
    EXPECT_EQ(opened_, (std::vector<std::string>{"http://127.0.0.1"}));
    EXPECT_EQ(web_->requests().size(), requestsBefore);
    EXPECT_EQ(wizard.result(), IDOK);
}

TEST_F(WizardFlowTest, SkipAfterAFailedPublicRemappingShowsNoDriveLine) {
    Wizard wizard;
    ReachSignIn(wizard);
    platform::networkProvider().cancelConnection(u"Z:", true);
    network_->failNextAdd(53);
    Click(*wizard.SignInPage(), kSkip);
    ASSERT_TRUE(wizard.OnDone());
    EXPECT_FALSE(Shown(*wizard.DonePage(), kPublicLine));
    EXPECT_FALSE(Shown(*wizard.DonePage(), kPrivateLine));
}

TEST_F(WizardFlowTest, SelectADifferentDriveShowsTheDiscoveryPageAsItWasLeft) {
    Wizard wizard;
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
    Announce(MakeRecord(kMakerPrefix, "000000000002", "Second", "127.0.0.2"));
    Settle();
    CDeviceDiscDlg& discovery = *wizard.DiscoveryPage();
    discovery.OnListClick(0);
    ASSERT_TRUE(wizard.OnSignIn());
    wizard.SignInPage()->ShowSignInError(u"Wrong Password");

    Click(*wizard.SignInPage(), kSelectDifferentDrive);
    EXPECT_TRUE(wizard.OnDiscovery());
    EXPECT_EQ(wizard.Header(), "Drive Scout: Discover");
    EXPECT_FALSE(Shown(*wizard.SignInPage(), kErrorText));
    EXPECT_EQ(discovery.RowTexts().size(), 2u);
    EXPECT_FALSE(discovery.IsTimerRunning(CDeviceDiscDlg::kScanTimer));
    EXPECT_EQ(Text(discovery, 1002), "2 network drive(s) found. Select a drive. ");

    // Choosing again starts the record over for that device (whose web application does not
    // answer: no users, so the done page).
    network_->addShare(u"127.0.0.2", u"Public", {true, {}});
    discovery.OnListClick(1);
    EXPECT_TRUE(wizard.OnDone());
    EXPECT_TRUE(g_NasContext.strUserName.IsEmpty());
    EXPECT_EQ(g_NasContext.strName.ToUtf8(), "Second");
    EXPECT_EQ(g_NasContext.strAddress.ToUtf8(), "127.0.0.2");
}

// An existing drive of bob's folder: bob is preselected, and alice signing in meets 1219.
class OtherUserConnected : public WizardFlowTest {
  protected:
    void SetUp() override {
        WizardFlowTest::SetUp();
        platform::NetResource resource;
        resource.localName = u"X:";
        resource.remoteName = u"\\\\127.0.0.1\\bob";
        ASSERT_EQ(network_->addConnection(resource, u"builder", u"bob", 0), 0u);
    }
};

TEST_F(OtherUserConnected, TheUserOfAnExistingDriveIsPreselected) {
    Wizard wizard;
    ReachSignIn(wizard);
    auto* users = wizard.SignInPage()->GetDlgItemAs<QComboBox>(kUserList);
    EXPECT_EQ(users->currentText().toStdString(), "bob");
    // "Skip" lists that drive and says bob is logged in.
    Click(*wizard.SignInPage(), kSkip);
    ASSERT_TRUE(wizard.OnDone());
    EXPECT_EQ(Text(*wizard.DonePage(), kPrivateLine), "X: bob");
    EXPECT_EQ(Text(*wizard.DonePage(), kSignedInLine), "You are logged in as \"bob\"");
    // A drive found in place but no password typed: the plain address, no token asked for.
    const size_t requestsBefore = web_->requests().size();
    Click(*wizard.DonePage(), kDoneButton);
    EXPECT_EQ(opened_, (std::vector<std::string>{"http://127.0.0.1"}));
    EXPECT_EQ(web_->requests().size(), requestsBefore);
}

// The user of the drive is preselected wherever the NAS lists them, by the whole name.
TEST_F(OtherUserConnected, TheUserOfTheDriveIsPreselectedByTheWholeName) {
    struct Case {
        std::vector<std::string> users;
        int selected;
    };
    const Case cases[] = {
        {{"alice", "bobby", "bob"}, 2},  // "bobby" begins with "bob" but is someone else
        {{"bob", "bobby"}, 0},
        {{"Alice", "BOB", "carol"}, 1},  // names match without regard to case
        {{"alice", "carol"}, 0},         // the drive's user is not listed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.users.front() + "... " + std::to_string(c.selected));
        web_->setDefaultReply(ds::test::HttpReply::withBody(200, UserListXml(c.users)));
        g_NasContext = NasContext{};
        {
            Wizard wizard;
            ReachSignIn(wizard);
            auto* users = wizard.SignInPage()->GetDlgItemAs<QComboBox>(kUserList);
            EXPECT_EQ(users->currentIndex(), c.selected);
        }
        CUPnPSDK::ReleaseAll();  // the next wizard hears of the device anew
    }
}

TEST_F(OtherUserConnected, AnsweringNoLeavesThePageWithAnErrorEvent) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "alice", "wonderland");
    answers_ = {IDNO};
    Click(*wizard.SignInPage(), kSignInButton);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].type & MB_TYPEMASK, unsigned(MB_YESNO));
    EXPECT_EQ(boxes_[0].text, ToQString(LoadText(resources::IDS_SIGN_OUT_OTHER_USER)));
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_FALSE(Shown(*wizard.SignInPage(), kErrorText));
    EXPECT_EQ(Messages().back(),
              "Login device Homevault(127.0.0.1) with user alice failed! error code: 1219");
    // bob's drive is still there.
    std::u16string remote;
    EXPECT_EQ(network_->getConnection(u"X:", remote), 0u);
}

TEST_F(OtherUserConnected, AnsweringYesSignsOutAndRetriesWithTwoEvents) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "alice", "wonderland");
    answers_ = {IDYES};
    const size_t eventsBefore = log_.events().size();
    Click(*wizard.SignInPage(), kSignInButton);
    ASSERT_EQ(boxes_.size(), 1u);
    ASSERT_TRUE(wizard.OnDone());
    const auto events = log_.events();
    ASSERT_EQ(events.size(), eventsBefore + 2);
    EXPECT_EQ(events[eventsBefore].message,
              "Login device Homevault(127.0.0.1) with user alice successfully!");
    EXPECT_EQ(events[eventsBefore + 1].type, kWizardEventError);
    EXPECT_EQ(events[eventsBefore + 1].message, "Login NAS with user alice");
    EXPECT_EQ(Text(*wizard.DonePage(), kSignedInLine), "You are logged in as \"alice\"");
    std::u16string remote;
    EXPECT_NE(network_->getConnection(u"X:", remote), 0u);  // bob signed out
    ExpectNoPasswordLogged();
}

// bob's drive in place proves nothing about a password typed now: a guess is refused, the
// right password (accepted by the NAS's validate_user) signs bob in on that drive.
TEST_F(OtherUserConnected, TheDriveInPlaceIsTakenOnlyWithAPasswordTheNasAccepts) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "bob", "any-guess");
    web_->queueReply(ds::test::HttpReply::withBody(403, "no"));
    Click(*wizard.SignInPage(), kSignInButton);
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(Text(*wizard.SignInPage(), kErrorText), "Wrong Password");
    EXPECT_EQ(web_->requests().back().body, "username=bob&password=any-guess&retToken=1");

    ChooseUser(wizard, "bob", "builder");
    web_->queueReply(ds::test::HttpReply::withBody(200, "http://127.0.0.1/hearthlink/?token=1"));
    Click(*wizard.SignInPage(), kSignInButton);
    ASSERT_TRUE(wizard.OnDone());
    EXPECT_EQ(web_->requests().back().body, "username=bob&password=builder&retToken=1");
    EXPECT_EQ(Text(*wizard.DonePage(), kPrivateLine), "X: bob");
    EXPECT_EQ(Text(*wizard.DonePage(), kSignedInLine), "You are logged in as \"bob\"");
    const auto calls = network_->addCalls();  // bob's drive reused: only the fixture made one
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const auto& call) { return call.userName == u"bob"; }),
              1);
    ExpectNoPasswordLogged();
}

// carol's folder has a remembered drive W: as well as bob's X:. carol signing in with a guess is
// not signed in (and nothing calls her bob); with her password she is, on her own drive.
TEST_F(OtherUserConnected, AnotherUsersDriveInPlaceIsTakenOnlyWithHerProvenPassword) {
    web_->setDefaultReply(
        ds::test::HttpReply::withBody(200, UserListXml({"bob", "alice", "carol"})));
    network_->addShare(u"127.0.0.1", u"carol", {false, {u"carol"}});
    network_->addAccount(u"127.0.0.1", u"carol", u"cheshire");
    network_->addRememberedConnection(u"W:", u"\\\\127.0.0.1\\carol", u"carol");
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "carol", "any-guess");
    web_->queueReply(ds::test::HttpReply::withBody(200, "Wrong password"));
    Click(*wizard.SignInPage(), kSignInButton);
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(Text(*wizard.SignInPage(), kErrorText), "Wrong Password");
    EXPECT_EQ(Messages().back(),
              "Login device Homevault(127.0.0.1) with user carol failed! error code: 1326");

    ChooseUser(wizard, "carol", "cheshire");
    web_->queueReply(ds::test::HttpReply::withBody(200, "http://127.0.0.1/hearthlink/?token=2"));
    Click(*wizard.SignInPage(), kSignInButton);
    ASSERT_TRUE(wizard.OnDone());
    EXPECT_EQ(Text(*wizard.DonePage(), kPrivateLine), "W: carol");
    EXPECT_EQ(Text(*wizard.DonePage(), kSignedInLine), "You are logged in as \"carol\"");
    web_->queueReply(ds::test::HttpReply::withBody(200, "http://127.0.0.1/hearthlink/?token=3"));
    Click(*wizard.DonePage(), kDoneButton);
    EXPECT_EQ(web_->requests().back().body, "username=carol&password=cheshire&retToken=1");
}

// The NAS does not answer: the drive in place is not taken, and the page says what it says for
// any failure other than a wrong password.
TEST_F(OtherUserConnected, ANasThatCannotProveThePasswordLeavesTheUserOnThePage) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "bob", "builder");
    web_.reset();  // nobody listens on the NAS's web port any more
    Click(*wizard.SignInPage(), kSignInButton);
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(Text(*wizard.SignInPage(), kErrorText),
              ToQString(LoadText(resources::IDS_CHECK_POWER_AND_NETWORK)).toStdString());
}

TEST_F(OtherUserConnected, AFailedSignOutIsToldAndTheSignInRetriedAnyway) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "alice", "wonderland");
    answers_ = {IDYES, IDOK, IDNO};
    // The sign-out after "Yes" fails on bob's drive.
    beforeAnswer_ = [this](size_t shown) {
        if (shown == 1) {
            network_->failNextCancel(2401);
        }
    };
    Click(*wizard.SignInPage(), kSignInButton);
    ASSERT_GE(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text, ToQString(LoadText(resources::IDS_SIGN_OUT_FAILED)));
    EXPECT_EQ(boxes_[1].type & MB_TYPEMASK, unsigned(MB_OK));
    EXPECT_EQ(Messages().back(), "Login NAS with user alice");
}

TEST_F(WizardFlowTest, OtherErrorsShowTheCheckPowerText) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "alice", "wonderland");
    // Public keeps its drive; the private mapping meets an unknown server.
    network_->failNextAdd(53);
    Click(*wizard.SignInPage(), kSignInButton);
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(Text(*wizard.SignInPage(), kErrorText),
              "Make sure that Homevault has power, check the network connection between your "
              "computer and Homevault, and then try to search for the device again.");
}

// 1219 when the user on record is the one signing in (whose drive has gone since): no question,
// nobody to sign out; the page shows text 180.
TEST_F(WizardFlowTest, ConflictWithTheRecordedUserHimselfShowsTheCheckPowerText) {
    Wizard wizard;
    ReachSignIn(wizard);
    g_NasContext.strUserName = u"ALICE";  // as FindPrivateMapping recorded it, in its own case
    ChooseUser(wizard, "alice", "wonderland");
    network_->failNextAdd(1219);
    Click(*wizard.SignInPage(), kSignInButton);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(Text(*wizard.SignInPage(), kErrorText),
              ToQString(LoadText(resources::IDS_CHECK_POWER_AND_NETWORK)).toStdString());
    EXPECT_EQ(Messages().back(),
              "Login device Homevault(127.0.0.1) with user alice failed! error code: 1219");
}

TEST_F(WizardFlowTest, DoneOpensTheTokenAddressAfterASignInWithAPassword) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "alice", "wonderland");
    Click(*wizard.SignInPage(), kSignInButton);
    ASSERT_TRUE(wizard.OnDone());
    web_->queueReply(ds::test::HttpReply::withBody(200, "http://127.0.0.1/hearthlink?token=42"));
    Click(*wizard.DonePage(), kDoneButton);
    EXPECT_EQ(opened_, (std::vector<std::string>{"http://127.0.0.1/hearthlink?token=42"}));
    EXPECT_EQ(wizard.result(), IDOK);
    const auto requests = web_->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().target, "/index.php/mv_login/validate_user");
}

TEST_F(WizardFlowTest, DoneFallsBackToThePlainAddressWhenTheTokenIsRefused) {
    Wizard wizard;
    ReachSignIn(wizard);
    ChooseUser(wizard, "alice", "wonderland");
    Click(*wizard.SignInPage(), kSignInButton);
    ASSERT_TRUE(wizard.OnDone());
    web_->queueReply(ds::test::HttpReply::withBody(403, "no"));
    Click(*wizard.DonePage(), kDoneButton);
    EXPECT_EQ(opened_, (std::vector<std::string>{"http://127.0.0.1"}));
}

TEST_F(WizardFlowTest, ClosingTheWindowEndsWithoutTheBrowser) {
    Wizard wizard;
    ReachSignIn(wizard);
    wizard.close();
    EXPECT_EQ(wizard.result(), IDCANCEL);
    EXPECT_TRUE(opened_.empty());
}

// Whole flows in German, Japanese and Russian: the translated texts of the dictionary on every
// page, the title untranslated, a wrong password, a sign-in and the done page.
TEST_F(WizardFlowTest, WholeFlowsInGermanJapaneseAndRussian) {
    for (const char* language : {"DEU", "JPN", "RUS"}) {
        SCOPED_TRACE(language);
        CDriveScoutApp app;
        app.SelectLanguage({QStringLiteral("drivescout"),
                            QStringLiteral("/LANGUAGE=") + QString::fromLatin1(language)});
        auto translated = [](const char16_t* english) {
            return ToQString(framework::TranslatePrompt(english)).toStdString();
        };
        ASSERT_NE(translated(u"Search again"), "Search again");
        g_NasContext = NasContext{};
        {
            Wizard wizard;
            EXPECT_EQ(wizard.Header(), "Drive Scout: " + translated(u"Discover"));
            EXPECT_EQ(Text(*wizard.DiscoveryPage(), 1006), translated(u"Search again"));
            ReachSignIn(wizard);
            EXPECT_EQ(wizard.Header(), "Drive Scout: " + translated(u"Sign in"));
            EXPECT_EQ(Text(*wizard.SignInPage(), kSkip), translated(u"Skip"));
            EXPECT_EQ(Text(*wizard.SignInPage(), kSelectDifferentDrive),
                      translated(u"Select a different drive"));
            ChooseUser(wizard, "alice", "wrong-one");
            Click(*wizard.SignInPage(), kSignInButton);
            EXPECT_EQ(Text(*wizard.SignInPage(), kErrorText), translated(u"Wrong Password"));
            ChooseUser(wizard, "alice", "wonderland");
            Click(*wizard.SignInPage(), kSignInButton);
            ASSERT_TRUE(wizard.OnDone());
            EXPECT_EQ(wizard.Header(), "Drive Scout: " + translated(u"Assign"));
            EXPECT_EQ(Text(*wizard.DonePage(), kDoneButton), translated(u"Done"));
            LBString signedIn;
            signedIn.Format(LoadText(resources::IDS_LOGGED_IN_AS).GetString(), u"alice");
            EXPECT_EQ(Text(*wizard.DonePage(), kSignedInLine), signedIn.ToUtf8());
            EXPECT_NE(signedIn.ToUtf8(), "You are logged in as \"alice\"");
            // The drive lines' words stay as they are.
            EXPECT_EQ(Text(*wizard.DonePage(), kPublicLine), "Z: Public");
            EXPECT_EQ(Text(*wizard.DonePage(), kPrivateLine), "Y: alice");
        }
        CUPnPSDK::ReleaseAll();
        for (const char16_t* drive : {u"Z:", u"Y:"}) {
            network_->cancelConnection(drive, true);
        }
    }
}

}  // namespace
}  // namespace wizardtest
