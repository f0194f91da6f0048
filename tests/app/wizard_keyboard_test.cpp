// The wizard with the keyboard alone and as a screen reader sees it: the focus follows the page
// shown, Tab walks each page in reading order, the device list answers the arrow keys and Space,
// Enter and Escape inside a page do nothing, the window's close keys end the wizard, and every
// control a person acts on has an accessible name. Keys are sent to whichever control has the
// focus, as a keyboard sends them. (The same is checked on a real X server with a real screen
// reader bus by scripts/test-window.)

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <iterator>
#include <vector>

#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/dialog_results.h"
#include "app/dialog_templates.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_dlg.h"
#include "app/static_control.h"
#include "qt_test_app.h"
#include "wizard_window.h"
#include "wizard_world.h"

namespace wizardtest {
namespace {

constexpr int kDeviceList = 1004;
constexpr int kSearchAgain = 1006;
constexpr int kSelectDifferentDrive = 1016;
constexpr int kSignInButton = 1007;
constexpr int kUserList = 1008;
constexpr int kPassword = 1010;
constexpr int kSkip = 1009;
constexpr int kErrorIcon = 1024;
constexpr int kErrorMark = 1029;
constexpr int kDoneButton = 1012;
constexpr int kPublicIcon = 1039;
constexpr int kPrivateIcon = 1040;

// The keyboard goes to the active window.
class ActiveWizard : public Wizard {
  public:
    ActiveWizard() { activateWindow(); }
};

QWidget* Focused() {
    return QApplication::focusWidget();
}

// A key as the keyboard gives it: to the control with the focus.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = Focused();
    ASSERT_NE(target, nullptr) << "no control has the keyboard focus";
    QTest::keyClick(target, key, modifiers);
    QCoreApplication::processEvents();
}

void Type(const char* text) {
    QWidget* target = Focused();
    ASSERT_NE(target, nullptr);
    QTest::keyClicks(target, QString::fromUtf8(text));
}

QString AccessibleName(QWidget* control) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

// The words of the label tied to a field, which screen readers here say for it.
QString LabelOf(QWidget* control) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    if (accessible == nullptr) {
        return {};
    }
    const auto labels = accessible->relations(QAccessible::Label);
    return labels.isEmpty() ? QString() : labels.front().first->text(QAccessible::Name);
}

class WizardKeyboardTest : public WizardWorld {
  protected:
    // A wizard with "Homevault" listed and the focus on its row.
    void ReachList(Wizard& wizard) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard));
        Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
        Settle();
        CDeviceDiscDlg& page = *wizard.DiscoveryPage();
        ASSERT_EQ(Focused(), page.GetDlgItem(kSearchAgain));
        Press(Qt::Key_Tab, Qt::ShiftModifier);
        ASSERT_EQ(Focused(), page.GetDlgItem(kDeviceList));
    }
    void ReachSignIn(Wizard& wizard) {
        ReachList(wizard);
        Press(Qt::Key_Space);
        ASSERT_TRUE(wizard.OnSignIn());
    }
};

TEST_F(WizardKeyboardTest, TheFirstPageStartsWithTheFocusOnItsFirstControl) {
    ActiveWizard wizard;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard));
    // While scanning the list is hidden: the button is the first control.
    EXPECT_EQ(Focused(), wizard.DiscoveryPage()->GetDlgItem(kSearchAgain));
}

TEST_F(WizardKeyboardTest, SpaceOnTheDeviceListChoosesTheCurrentRowAndTheArrowsMoveIt) {
    ActiveWizard wizard;
    Announce(MakeRecord(kMakerPrefix, "000000000002", "Homevault B"));
    ReachList(wizard);
    auto* list = wizard.DiscoveryPage()->GetDlgItemAs<QTreeWidget>(kDeviceList);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    Press(Qt::Key_Down);
    Press(Qt::Key_Up);
    Press(Qt::Key_Down);
    EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 1);
    EXPECT_TRUE(wizard.OnDiscovery()) << "the arrows only move";
    Press(Qt::Key_Space);
    ASSERT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(g_NasContext.strName, LBString(u"Homevault"));
}

TEST_F(WizardKeyboardTest, ASignInWithTheKeyboardAlone) {
    ActiveWizard wizard;
    ReachSignIn(wizard);
    CDeviceLoginDlg& page = *wizard.SignInPage();
    EXPECT_EQ(Focused(), page.GetDlgItem(kUserList)) << "the focus went with the page";

    Press(Qt::Key_Down);  // bob, alice: to alice
    EXPECT_EQ(page.GetDlgItemText(kUserList), "alice");
    Press(Qt::Key_Tab);
    Type("wrong-one");
    Press(Qt::Key_Tab);
    ASSERT_EQ(Focused(), page.GetDlgItem(kSignInButton));
    Press(Qt::Key_Space);
    ASSERT_TRUE(wizard.OnSignIn());
    EXPECT_TRUE(page.GetDlgItem(kErrorIcon)->isVisibleTo(&page));
    // Back on the password with it selected: typing replaces it.
    ASSERT_EQ(Focused(), page.GetDlgItem(kPassword));
    Type("wonderland");
    EXPECT_EQ(page.GetDlgItemText(kPassword), "wonderland");
    Press(Qt::Key_Tab);
    Press(Qt::Key_Space);
    ASSERT_TRUE(wizard.OnDone());

    ASSERT_EQ(Focused(), wizard.DonePage()->GetDlgItem(kDoneButton));
    Press(Qt::Key_Space);
    EXPECT_EQ(wizard.result(), IDOK);
    EXPECT_EQ(opened_.size(), 1u);
}

TEST_F(WizardKeyboardTest, TabWalksTheSignInPageInReadingOrderAndAround) {
    ActiveWizard wizard;
    ReachSignIn(wizard);
    CDeviceLoginDlg& page = *wizard.SignInPage();
    const int order[] = {kUserList, kPassword, kSignInButton, kSkip, kSelectDifferentDrive,
                         kUserList};
    for (size_t i = 1; i < std::size(order); ++i) {
        Press(Qt::Key_Tab);
        EXPECT_EQ(Focused(), page.GetDlgItem(order[i])) << "Tab number " << i;
    }
    for (size_t i = std::size(order) - 1; i > 0; --i) {
        Press(Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_EQ(Focused(), page.GetDlgItem(order[i - 1])) << "Shift+Tab to " << order[i - 1];
    }
}

TEST_F(WizardKeyboardTest, SpaceAfterAPageChangeActsOnTheNewPageNotTheHiddenOne) {
    ActiveWizard wizard;
    ReachSignIn(wizard);
    CDeviceLoginDlg& page = *wizard.SignInPage();
    page.GetDlgItem(kSelectDifferentDrive)->setFocus();
    Press(Qt::Key_Space);
    ASSERT_TRUE(wizard.OnDiscovery());
    // The list is the discovery page's first control; Space chooses again.
    EXPECT_EQ(Focused(), wizard.DiscoveryPage()->GetDlgItem(kDeviceList));
    Press(Qt::Key_Space);
    ASSERT_TRUE(wizard.OnSignIn());

    page.GetDlgItem(kSkip)->setFocus();
    Press(Qt::Key_Space);
    ASSERT_TRUE(wizard.OnDone());
    EXPECT_EQ(Focused(), wizard.DonePage()->GetDlgItem(kDoneButton));
}

TEST_F(WizardKeyboardTest, EnterAndEscapeDoNothingOnAnyControlOfAnyPage) {
    ActiveWizard wizard;
    ReachSignIn(wizard);
    CDeviceLoginDlg& signIn = *wizard.SignInPage();
    struct Place {
        const char* what;
        std::function<void()> reach;
        std::function<bool()> stillThere;
        QWidget* control;
    };
    const auto toSignIn = [&] {
        wizard.ShowSignInPage(LBString(u"Homevault"), {LBString(u"bob"), LBString(u"alice")});
    };
    const auto onSignIn = [&] { return wizard.OnSignIn(); };
    const std::vector<Place> places = {
        {"user list", toSignIn, onSignIn, signIn.GetDlgItem(kUserList)},
        {"password", toSignIn, onSignIn, signIn.GetDlgItem(kPassword)},
        {"Sign in", toSignIn, onSignIn, signIn.GetDlgItem(kSignInButton)},
        {"Skip", toSignIn, onSignIn, signIn.GetDlgItem(kSkip)},
        {"device list", [&] { wizard.ShowDiscoveryPage(); }, [&] { return wizard.OnDiscovery(); },
         wizard.DiscoveryPage()->GetDlgItem(kDeviceList)},
        {"Search again", [&] { wizard.ShowDiscoveryPage(); }, [&] { return wizard.OnDiscovery(); },
         wizard.DiscoveryPage()->GetDlgItem(kSearchAgain)},
        {"Done", [&] { wizard.ShowDonePage(); }, [&] { return wizard.OnDone(); },
         wizard.DonePage()->GetDlgItem(kDoneButton)},
    };
    for (const Place& place : places) {
        place.reach();
        place.control->setFocus();
        ASSERT_EQ(Focused(), place.control) << place.what;
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            Press(key);
            EXPECT_TRUE(place.stillThere()) << place.what << ", key " << key;
            EXPECT_TRUE(wizard.isVisible()) << place.what << ", key " << key;
        }
    }
    EXPECT_TRUE(opened_.empty());
    EXPECT_EQ(boxes_.size(), 0u);
}

TEST_F(WizardKeyboardTest, TheWindowsCloseKeysEndTheWizardLikeItsCloseBox) {
    for (QKeyCombination keys : {QKeyCombination(Qt::AltModifier, Qt::Key_F4),
                                 QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        ActiveWizard wizard;
        ReachSignIn(wizard);
        Press(keys.key(), keys.keyboardModifiers());
        EXPECT_FALSE(wizard.isVisible()) << QKeySequence(keys).toString().toStdString();
        EXPECT_EQ(wizard.result(), IDCANCEL);
    }
    EXPECT_TRUE(opened_.empty());
}

TEST_F(WizardKeyboardTest, TheFocusIsShownOnceTheKeyboardIsUsedEvenWithoutTab) {
    ActiveWizard wizard;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard));
    EXPECT_FALSE(wizard.testAttribute(Qt::WA_KeyboardFocusChange));
    Press(Qt::Key_Escape);  // on "Search again": nothing happens, but a key was used
    EXPECT_TRUE(wizard.testAttribute(Qt::WA_KeyboardFocusChange));
}

TEST_F(WizardKeyboardTest, EveryControlAPersonActsOnAndEveryPictureHasAName) {
    ActiveWizard wizard;
    ReachSignIn(wizard);
    CDeviceLoginDlg& signIn = *wizard.SignInPage();
    signIn.GetDlgItem(kPassword)->setFocus();
    Type("wrong-one");
    signIn.GetDlgItemAs<QPushButton>(kSignInButton)->click();
    EXPECT_EQ(LabelOf(signIn.GetDlgItem(kUserList)), "Username:");
    EXPECT_EQ(LabelOf(signIn.GetDlgItem(kPassword)), "Password:");
    EXPECT_EQ(AccessibleName(signIn.GetDlgItem(kPassword)), "Password");
    EXPECT_EQ(AccessibleName(signIn.GetDlgItem(kErrorIcon)), "Wrong Password");
    EXPECT_EQ(AccessibleName(signIn.GetDlgItem(kErrorMark)), "Wrong Password");

    CDeviceDiscDlg& discovery = *wizard.DiscoveryPage();
    EXPECT_EQ(AccessibleName(discovery.GetDlgItem(kDeviceList)), "Found 1 network drive.");
    EXPECT_EQ(AccessibleName(discovery.GetDlgItem(1001)), "Found 1 network drive.");

    signIn.GetDlgItem(kPassword)->setFocus();
    Press(Qt::Key_A, Qt::ControlModifier);
    Type("builder");  // bob, the first user, is chosen
    signIn.GetDlgItemAs<QPushButton>(kSignInButton)->click();
    ASSERT_TRUE(wizard.OnDone());
    CDiscDoneDlg& done = *wizard.DonePage();
    EXPECT_EQ(AccessibleName(done.GetDlgItem(kPublicIcon)), "Z: Public");
    EXPECT_EQ(AccessibleName(done.GetDlgItem(kPrivateIcon)), "Y: bob");
    EXPECT_EQ(AccessibleName(done.GetDlgItem(1033)), "Y: bob") << "a text is named by its words";

    // Whatever is shown on any page: controls one can act on and pictures carry a name.
    for (CBaseDiscDlg* page : std::initializer_list<CBaseDiscDlg*>{
             &wizard, wizard.DiscoveryPage(), wizard.SignInPage(), wizard.DonePage()}) {
        for (QWidget* control : page->Controls()) {
            auto* label = dynamic_cast<StaticControl*>(control);
            const bool picture = label != nullptr && !label->Bitmap().isNull();
            const bool acted = label == nullptr && control->focusPolicy() != Qt::NoFocus;
            if ((picture || acted) && control->isVisibleTo(page)) {
                EXPECT_FALSE(AccessibleName(control).isEmpty())
                    << "template " << page->TemplateId() << ", control "
                    << CBaseDiscDlg::ControlId(*control);
            }
        }
    }
}

}  // namespace
}  // namespace wizardtest
