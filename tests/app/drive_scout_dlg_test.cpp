#include "app/drive_scout_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/app_globals.h"
#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/dialog_templates.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_app.h"
#include "app/nas/nas_context.h"
#include "app/qt_text.h"
#include "app/static_control.h"
#include "framework/prompt_translation.h"
#include "qt_test_app.h"
#include "support/netns.h"

namespace {

constexpr int kWatchdogMs = 5000;

// The dialog as the wizard creates it, with its header and pages reachable.
class MainDialog : public CDriveScoutDlg {
  public:
    MainDialog() { Create(nullptr); }
    QString Header() const { return GetDlgItemText(IDC_HEADER_TEXT); }
    QFont HeaderFont() const { return GetDlgItem(IDC_HEADER_TEXT)->font(); }
    using CBaseDiscDlg::m_fontTitle;
};

// Runs `dialog` modally; `during` runs inside its event loop. A watchdog ends a dialog that is
// still open after a while with -99, so the test fails instead of hanging.
int RunModal(CBaseDiscDlg& dialog, std::function<void()> during) {
    QTimer::singleShot(0, &dialog, std::move(during));
    QTimer::singleShot(kWatchdogMs, &dialog, [&dialog] { dialog.EndDialog(-99); });
    return dialog.DoModal();
}

std::string Utf8(const QString& text) {
    return text.toStdString();
}

// The translation of an English key as the dictionary has it for the current language.
std::string Translated(const char16_t* english) {
    return Utf8(ToQString(framework::TranslatePrompt(english)));
}

// The main dialog creates the discovery page, and the discovery page searches the network: the
// tests run only where nothing they send can leave the machine.
class DriveScoutDlgTest : public ::testing::Test {
  protected:
    void SetUp() override { DS_REQUIRE_PRIVATE_NETNS(); }

    // The application object chooses the language as start-up does.
    void UseLanguage(const char* code) {
        app_.SelectLanguage({QStringLiteral("drivescout"),
                             QStringLiteral("/LANGUAGE=%1").arg(QString::fromLatin1(code))});
    }

    CDriveScoutApp app_;
};

TEST_F(DriveScoutDlgTest, OpensWithTitleLogoHeaderAndTheDiscoveryPage) {
    MainDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Drive Scout"));
    EXPECT_EQ(Utf8(dialog.Header()), "Drive Scout: Discover");
    EXPECT_EQ(dialog.HeaderFont(), dialog.m_fontTitle);
    // The logo is the second control: bitmap 145 at its own size.
    auto* logo = dynamic_cast<StaticControl*>(dialog.Controls()[1]);
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->size(), QSize(111, 36));
    // Header grey, everything else in the framework's colour.
    EXPECT_EQ(dialog.ControlTextColor(*dialog.GetDlgItem(IDC_HEADER_TEXT)), QColor(102, 102, 102));
    EXPECT_EQ(dialog.ControlTextColor(*dialog.Controls()[0]), QColor(0, 0, 0));
}

TEST_F(DriveScoutDlgTest, PagesAreChildrenPlacedExactlyOnThePageArea) {
    MainDialog dialog;
    const QRect pageArea = DialogRectToPixels({20, 52, 360, 182}, dialog.BaseUnits());
    EXPECT_EQ(dialog.PageAreaRect(), pageArea);
    const std::vector<CBaseDiscDlg*> pages{dialog.DiscoveryPage(), dialog.SignInPage(),
                                           dialog.DonePage()};
    const std::vector<int> templates{IDD_DEVICE_DISCOVERY, IDD_DEVICE_LOGIN, IDD_DISCOVERY_DONE};
    for (size_t i = 0; i < pages.size(); ++i) {
        ASSERT_NE(pages[i], nullptr);
        EXPECT_EQ(pages[i]->TemplateId(), templates[i]);
        EXPECT_EQ(pages[i]->parentWidget(), &dialog);
        EXPECT_FALSE(pages[i]->isWindow());
        EXPECT_EQ(pages[i]->geometry(), pageArea);
    }
    EXPECT_TRUE(dialog.DiscoveryPage()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.SignInPage()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.DonePage()->isVisibleTo(&dialog));
}

TEST_F(DriveScoutDlgTest, PageSwitchesShowExactlyOnePageUnderItsHeader) {
    MainDialog dialog;
    g_NasContext.strName = u"Homevault-4F";

    dialog.ShowSignInPage(u"Homevault-4F", {u"zoe", u"bob", u"alice"});
    EXPECT_EQ(Utf8(dialog.Header()), "Drive Scout: Sign in");
    EXPECT_FALSE(dialog.DiscoveryPage()->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.SignInPage()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.DonePage()->isVisibleTo(&dialog));
    EXPECT_EQ(Utf8(dialog.SignInPage()->GetDlgItemText(1013)), "Homevault-4F");
    auto* users = dialog.SignInPage()->GetDlgItemAs<QComboBox>(1008);
    ASSERT_EQ(users->count(), 3);
    EXPECT_EQ(Utf8(users->itemText(0)), "zoe");  // in the order received, not sorted
    EXPECT_EQ(Utf8(users->itemText(2)), "alice");
    EXPECT_EQ(users->currentIndex(), 0);

    dialog.ShowDonePage();
    EXPECT_EQ(Utf8(dialog.Header()), "Drive Scout: Assign");
    EXPECT_FALSE(dialog.DiscoveryPage()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.SignInPage()->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.DonePage()->isVisibleTo(&dialog));
    EXPECT_EQ(Utf8(dialog.DonePage()->GetDlgItemText(1013)), "Homevault-4F");

    dialog.ShowDiscoveryPage();
    EXPECT_EQ(Utf8(dialog.Header()), "Drive Scout: Discover");
    EXPECT_TRUE(dialog.DiscoveryPage()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.SignInPage()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.DonePage()->isVisibleTo(&dialog));
    g_NasContext = NasContext();
}

TEST_F(DriveScoutDlgTest, HeaderInGermanKeepsTheTitleUntranslated) {
    UseLanguage("DEU");
    const std::string discover = Translated(u"Discover");
    ASSERT_NE(discover, "Discover");
    MainDialog dialog;
    EXPECT_EQ(Utf8(dialog.Header()), "Drive Scout: " + discover);
    dialog.ShowSignInPage(u"NAS", {u"bob"});
    EXPECT_EQ(Utf8(dialog.Header()), "Drive Scout: " + Translated(u"Sign in"));
    dialog.ShowDonePage();
    EXPECT_EQ(Utf8(dialog.Header()), "Drive Scout: " + Translated(u"Assign"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Drive Scout"));
}

TEST_F(DriveScoutDlgTest, ClosingTheWindowEndsWithCancel) {
    MainDialog dialog;
    EXPECT_EQ(RunModal(dialog, [&] { dialog.close(); }), IDCANCEL);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DriveScoutDlgTest, EscapeOnTheWindowEndsWithCancel) {
    MainDialog dialog;
    EXPECT_EQ(RunModal(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); }), IDCANCEL);
}

TEST_F(DriveScoutDlgTest, EndDialogWithOk) {
    MainDialog dialog;
    EXPECT_EQ(RunModal(dialog, [&] { dialog.EndDialog(IDOK); }), IDOK);
}

TEST_F(DriveScoutDlgTest, KeysInsideAPageNeitherCloseNorChangeIt) {
    MainDialog dialog;
    bool stillOpen = false;
    bool samePage = false;
    const int result = RunModal(dialog, [&] {
        dialog.ShowSignInPage(u"NAS", {u"bob"});
        QWidget* password = dialog.SignInPage()->GetDlgItem(1010);
        password->setFocus();
        QTest::keyClick(password, Qt::Key_Return);
        QTest::keyClick(password, Qt::Key_Escape);
        QTest::keyClick(password, Qt::Key_F1);  // help does nothing either
        stillOpen = dialog.isVisible();
        samePage = dialog.SignInPage()->isVisible() && !dialog.DiscoveryPage()->isVisible();
        dialog.close();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(samePage);
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(DriveScoutDlgTest, SnapshotOfTheWindowEachTimeAPageIsShown) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv("DRIVESCOUT_SNAPSHOT_DIR", folder.path().toLocal8Bit());
    {
        MainDialog dialog;
        RunModal(dialog, [&] {
            dialog.ShowSignInPage(u"NAS", {u"bob"});
            dialog.ShowDonePage();
            QTimer::singleShot(0, &dialog, [&] { dialog.EndDialog(IDOK); });
        });
    }
    qunsetenv("DRIVESCOUT_SNAPSHOT_DIR");
    const QStringList files =
        QDir(folder.path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 3) << Utf8(files.join(u' '));
    EXPECT_TRUE(files[0].endsWith(QStringLiteral("-discover.png")));
    EXPECT_TRUE(files[1].endsWith(QStringLiteral("-sign-in.png")));
    EXPECT_TRUE(files[2].endsWith(QStringLiteral("-done.png")));
    const QImage picture(QDir(folder.path()).filePath(files[0]));
    EXPECT_EQ(picture.size(),
              DialogRectToPixels({0, 0, 400, 250}, MainDialog().BaseUnits()).size());
    // The background is white.
    EXPECT_EQ(picture.pixelColor(2, picture.height() - 2), QColor(Qt::white));
}

// A text that needs more lines than its static has makes room: the static grows to its text,
// what lies below it moves down as far, the page and the window grow with it; a shorter text
// later gives the room back.
TEST_F(DriveScoutDlgTest, ATextThatNeedsMoreLinesPushesWhatLiesBelowAndTheWindowDown) {
    constexpr int kSignedInLine = 1034;  // done page: 0, 48, 360, 19
    constexpr int kHeading = 1030;       // done page: 0, 70, 360, 16
    constexpr int kDoneButton = 1012;    // done page: 0, 162, 57, 18
    MainDialog dialog;
    CDiscDoneDlg& page = *dialog.DonePage();
    auto* line = dynamic_cast<StaticControl*>(page.GetDlgItem(kSignedInLine));
    ASSERT_NE(line, nullptr);
    const QRect lineBefore = line->geometry();
    const QRect headingBefore = page.GetDlgItem(kHeading)->geometry();
    const QRect buttonBefore = page.GetDlgItem(kDoneButton)->geometry();
    const QSize pageBefore = page.size();
    const QSize windowBefore = dialog.size();
    const QRect areaBefore = dialog.PageAreaRect();

    QString longText;
    for (int i = 0; i < 12; ++i) {
        longText += QStringLiteral("A sentence long enough to need a line of its own here. ");
    }
    page.SetDlgItemText(kSignedInLine, longText);
    const int needed = line->WrappedTextSize(line->width()).height();
    ASSERT_GT(needed, lineBefore.height() + 40);
    const int grown = needed - lineBefore.height();
    EXPECT_EQ(line->geometry(), QRect(lineBefore.topLeft(), QSize(lineBefore.width(), needed)));
    EXPECT_EQ(page.GetDlgItem(kHeading)->geometry(), headingBefore.translated(0, grown));
    EXPECT_EQ(page.GetDlgItem(kDoneButton)->geometry(), buttonBefore.translated(0, grown));
    EXPECT_EQ(page.size(), pageBefore + QSize(0, grown));
    EXPECT_EQ(dialog.PageAreaRect(), areaBefore.adjusted(0, 0, 0, grown));
    EXPECT_EQ(dialog.size(), windowBefore + QSize(0, grown));
    // The other pages stay as they were.
    EXPECT_EQ(dialog.SignInPage()->height(), areaBefore.height());

    page.SetDlgItemText(kSignedInLine, QStringLiteral("Short."));
    EXPECT_EQ(line->geometry(), lineBefore);
    EXPECT_EQ(page.GetDlgItem(kHeading)->geometry(), headingBefore);
    EXPECT_EQ(page.size(), pageBefore);
    EXPECT_EQ(dialog.size(), windowBefore);
}

}  // namespace
