// Every text of every page shows whole in every language of the dictionary: each page state is
// rendered in each language and every static text's wrapped size must lie inside its control,
// every control inside its page and every page inside the window. English keeps the templates'
// rectangles.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QRect>
#include <functional>
#include <string>

#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_app.h"
#include "app/drive_scout_dlg.h"
#include "app/load_text.h"
#include "app/static_control.h"
#include "qt_test_app.h"
#include "resources/string_ids.h"
#include "wizard_window.h"
#include "wizard_world.h"

namespace wizardtest {
namespace {

const char* const kLanguages[] = {"CHS", "CHT", "DEU", "ENU", "ESP", "FRA",
                                  "ITA", "JPN", "KOR", "NLD", "PTB", "RUS"};

struct PageState {
    const char* name;
    std::function<void(Wizard&)> reach;
};

// Every control of `dialog` lies inside it and every static text fits its control.
void ExpectTextsFit(const CBaseDiscDlg& dialog, const std::string& where) {
    const QRect inside(QPoint(0, 0), dialog.size());
    for (const QWidget* control : dialog.Controls()) {
        const int id = CBaseDiscDlg::ControlId(*control);
        EXPECT_TRUE(inside.contains(control->geometry()))
            << where << ": control " << id << " leaves its dialog";
        if (const auto* button = dynamic_cast<const QPushButton*>(control)) {
            EXPECT_LE(button->sizeHint().width(), button->width())
                << where << ": button " << id << " is too narrow for "
                << button->text().toStdString();
            EXPECT_LE(button->sizeHint().height(), button->height())
                << where << ": button " << id << " is too low for " << button->text().toStdString();
        }
        const auto* label = dynamic_cast<const StaticControl*>(control);
        if (label == nullptr || label->Text().isEmpty()) {
            continue;
        }
        const QSize text = label->WrappedTextSize(label->width());
        EXPECT_LE(text.height(), label->height())
            << where << ": text of " << id << " is cut off: " << label->Text().toStdString();
        EXPECT_LE(text.width(), label->width())
            << where << ": text of " << id << " is too wide: " << label->Text().toStdString();
    }
}

// Controls that are apart in the template stay apart when shown: a text that grew pushed what
// lies below it down instead of running into it.
void ExpectShownControlsApart(const CBaseDiscDlg& dialog, const std::string& where) {
    const auto& controls = dialog.Controls();
    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.size(); ++j) {
            if (!controls[i]->isVisibleTo(&dialog) || !controls[j]->isVisibleTo(&dialog) ||
                dialog.TemplateControlRect(i).intersects(dialog.TemplateControlRect(j))) {
                continue;
            }
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << where << ": controls " << CBaseDiscDlg::ControlId(*controls[i]) << " and "
                << CBaseDiscDlg::ControlId(*controls[j]) << " overlap";
        }
    }
}

class TextLayoutTest : public WizardWorld {
  protected:
    std::vector<PageState> States() {
        auto oneDevice = [](Wizard&) {
            Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
            Settle();
        };
        auto signIn = [](Wizard& wizard) {
            wizard.ShowSignInPage(LBString(u"Homevault"), {LBString(u"alice"), LBString(u"bob")});
        };
        return {
            {"scanning", [](Wizard&) {}},
            {"one device", oneDevice},
            {"two devices",
             [](Wizard&) {
                 Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
                 Announce(MakeRecord(kMakerPrefix, "000000000002", "Homevault 2"));
                 Settle();
             }},
            {"device gone",
             [](Wizard&) {
                 const auto record = MakeRecord(kMakerPrefix, "000000000001", "Homevault");
                 Announce(record);
                 Settle();
                 Withdraw(record);
                 Settle();
             }},
            {"no device", [](Wizard& wizard) { wizard.DiscoveryPage()->ShowNoDeviceView(); }},
            {"sign in", signIn},
            {"wrong password",
             [signIn](Wizard& wizard) {
                 signIn(wizard);
                 wizard.SignInPage()->ShowSignInError(LoadText(resources::IDS_WRONG_PASSWORD));
             }},
            {"sign-in failure",
             [signIn](Wizard& wizard) {
                 signIn(wizard);
                 wizard.SignInPage()->ShowSignInError(
                     LoadText(resources::IDS_CHECK_POWER_AND_NETWORK));
             }},
            {"done without sign-in",
             [](Wizard& wizard) {
                 g_NasContext.strName = u"Homevault";
                 g_NasContext.bPublicMapped = 1;
                 g_NasContext.strPublicDrive = u"Z:";
                 wizard.ShowDonePage();
             }},
            {"done signed in",
             [](Wizard& wizard) {
                 g_NasContext.strName = u"Homevault";
                 g_NasContext.bPublicMapped = 1;
                 g_NasContext.strPublicDrive = u"Z:";
                 g_NasContext.bPrivateMapped = 1;
                 g_NasContext.strPrivateDrive = u"Y:";
                 g_NasContext.strUserName = u"alice";
                 wizard.ShowDonePage();
             }},
        };
    }
};

TEST_F(TextLayoutTest, EveryTextOfEveryPageFitsInEveryLanguage) {
    for (const char* language : kLanguages) {
        for (const PageState& state : States()) {
            const std::string where = std::string(language) + ", " + state.name;
            SCOPED_TRACE(where);
            CDriveScoutApp app;
            app.SelectLanguage({QStringLiteral("drivescout"),
                                QStringLiteral("/LANGUAGE=") + QString::fromLatin1(language)});
            g_NasContext = NasContext{};
            {
                Wizard wizard;
                state.reach(wizard);
                ExpectTextsFit(wizard, where + ", window");
                const QRect window(QPoint(0, 0), wizard.size());
                for (const CBaseDiscDlg* page : std::initializer_list<const CBaseDiscDlg*>{
                         wizard.DiscoveryPage(), wizard.SignInPage(), wizard.DonePage()}) {
                    EXPECT_TRUE(window.contains(page->geometry()))
                        << where << ": page " << page->TemplateId() << " leaves the window";
                    const std::string inPage =
                        where + ", page " + std::to_string(page->TemplateId());
                    ExpectTextsFit(*page, inPage);
                    ExpectShownControlsApart(*page, inPage);
                }
            }
            CUPnPSDK::ReleaseAll();
        }
    }
}

// The templates were drawn for English: in English no text moves or grows a control.
TEST_F(TextLayoutTest, EnglishKeepsTheTemplatesRectangles) {
    for (const PageState& state : States()) {
        SCOPED_TRACE(state.name);
        CDriveScoutApp app;
        app.SelectLanguage({QStringLiteral("drivescout"), QStringLiteral("/LANGUAGE=ENU")});
        g_NasContext = NasContext{};
        {
            Wizard wizard;
            state.reach(wizard);
            for (const CBaseDiscDlg* dialog : std::initializer_list<const CBaseDiscDlg*>{
                     &wizard, wizard.DiscoveryPage(), wizard.SignInPage(), wizard.DonePage()}) {
                EXPECT_EQ(dialog->ExtraHeight(), 0) << dialog->TemplateId();
                for (size_t i = 0; i < dialog->Controls().size(); ++i) {
                    const QWidget* control = dialog->Controls()[i];
                    const auto* label = dynamic_cast<const StaticControl*>(control);
                    if (label != nullptr && !(label->Style() & kStaticBitmap)) {
                        EXPECT_EQ(control->geometry(), dialog->TemplateControlRect(i))
                            << dialog->TemplateId() << " control " << i;
                    }
                }
            }
        }
        CUPnPSDK::ReleaseAll();
    }
}

}  // namespace
}  // namespace wizardtest
