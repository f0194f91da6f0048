#include "app/tkx_win_app.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "app/load_text.h"
#include "app/qt_text.h"
#include "framework/language.h"
#include "framework/localization.h"
#include "framework/prompt_translation.h"
#include "qt_test_app.h"
#include "resources/string_ids.h"

namespace {

struct ShownBox {
    std::string caption;
    std::string text;
    unsigned type;
};

// Records the message boxes instead of showing them, and answers with `answer`.
class MessageBoxRecorder {
  public:
    explicit MessageBoxRecorder(int answer = IDOK) {
        previous_ = CTkxWinApp::SetMessageBoxPresenter(
            [this, answer](const QString& caption, const QString& text, unsigned type) {
                shown.push_back({caption.toStdString(), text.toStdString(), type});
                return answer;
            });
    }
    ~MessageBoxRecorder() { CTkxWinApp::SetMessageBoxPresenter(std::move(previous_)); }

    std::vector<ShownBox> shown;

  private:
    CTkxWinApp::MessageBoxPresenter previous_;
};

// The application object with a language made current as start-up does it.
class DictionaryApp : public CTkxWinApp {
  public:
    explicit DictionaryApp(const char16_t* code) : CTkxWinApp(framework::kLocalizationDictionary) {
        SetAppName(u"Drive Scout");
        framework::GetLocalization()->SetResourceId(std::int32_t(resources::IDR_DICTIONARY));
        selected = framework::GetLocalization()->SetLanguage(framework::CLanguage::FromCode(code));
    }
    bool selected = false;
};

std::string German(const char16_t* english) {
    return ToQString(framework::TranslatePrompt(english)).toStdString();
}

TEST(TkxWinAppTest, ConstructionInstallsTheLocalizationAndDestructionReleasesIt) {
    {
        CTkxWinApp app(framework::kLocalizationDictionary);
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_NE(framework::GetLocalization(), nullptr);
        EXPECT_EQ(framework::GetLocalizationType(), framework::kLocalizationDictionary);
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(framework::GetLocalization(), nullptr);
}

TEST(TkxWinAppTest, AnUnknownLocalizationTypeDoesNotFailConstruction) {
    CTkxWinApp first(framework::kLocalizationDictionary);
    CTkxWinApp app(5);
    EXPECT_NE(framework::GetLocalization(), nullptr);
    EXPECT_EQ(framework::GetLocalizationType(), framework::kLocalizationDictionary);
}

TEST(TkxWinAppTest, PromptIsTranslatedUnderGerman) {
    DictionaryApp app(u"DEU");
    ASSERT_TRUE(app.selected);
    const std::string german = German(u"Wrong Password");
    ASSERT_NE(german, "Wrong Password");
    MessageBoxRecorder boxes(IDYES);
    EXPECT_EQ(app.DoMessageBox(u"Wrong Password", MB_YESNO, 0), IDYES);
    // A prompt that differs from a key only by "&" shows the key's translation.
    EXPECT_EQ(AfxMessageBox(u"Wrong &Password", MB_OK), IDYES);
    // A prompt that is not a key is shown as passed.
    AfxMessageBox(u"Not a key of the dictionary", MB_OK);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text, german);
    EXPECT_EQ(boxes.shown[0].caption, "Drive Scout");
    EXPECT_EQ(boxes.shown[0].type, unsigned(MB_YESNO));
    EXPECT_EQ(boxes.shown[1].text, german);
    EXPECT_EQ(boxes.shown[2].text, "Not a key of the dictionary");
}

TEST(TkxWinAppTest, PromptIsShownAsPassedWithNoLanguage) {
    // Neutral, and a code the language table does not know.
    for (const char16_t* code : {u"", u"XYZ"}) {
        DictionaryApp app(code);
        MessageBoxRecorder boxes;
        app.DoMessageBox(u"Wrong Password", MB_OK, 0);
        app.DoMessageBox(u"Wrong &Password", MB_OK, 0);
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown[0].text, "Wrong Password");
        EXPECT_EQ(boxes.shown[1].text, "Wrong &Password");
    }
}

TEST(TkxWinAppTest, HelpAndTheAddedOperationsReportFailure) {
    CTkxWinApp app(framework::kLocalizationDictionary);
    EXPECT_FALSE(app.WinHelp(0, 0));
    EXPECT_FALSE(app.SelectLanguageAndHelp(u"DEU", u"/usr/share/help"));
    EXPECT_TRUE(app.GetCultureName().IsEmpty());
}

TEST(TkxWinAppTest, WithoutAnApplicationObjectThePromptIsShownAsPassed) {
    ASSERT_EQ(AfxGetApp(), nullptr);
    MessageBoxRecorder boxes(IDNO);
    EXPECT_EQ(AfxMessageBox(u"Sign in", MB_YESNO), IDNO);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Sign in");
}

// The real Qt message box: caption, translated prompt and button texts, and the answer.
TEST(TkxWinAppTest, QtMessageBoxShowsTheTranslationAndReportsTheButton) {
    DictionaryApp app(u"DEU");
    ASSERT_TRUE(app.selected);
    struct Seen {
        std::string caption, text;
        std::vector<std::string> buttons;
    } seen;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        poll.stop();
        seen.caption = box->windowTitle().toStdString();
        seen.text = box->text().toStdString();
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons.push_back(button->text().toStdString());
        }
        box->button(QMessageBox::No)->click();
    });
    poll.start();
    // Watchdog: a box nobody answers is closed, and the test fails on the missing texts.
    QTimer::singleShot(5000, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    const int answer = app.DoMessageBox(u"Wrong Password", MB_YESNO, 0);
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(seen.caption, "Drive Scout");
    EXPECT_EQ(seen.text, German(u"Wrong Password"));
    ASSERT_EQ(seen.buttons.size(), 2u);
    // The buttons carry the string table's texts in the chosen language.
    std::sort(seen.buttons.begin(), seen.buttons.end());
    std::vector<std::string> expected{German(u"&Yes"), German(u"&No")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen.buttons, expected);
}

TEST(TkxWinAppTest, LoadTextOfAMissingEntryIsEmpty) {
    DictionaryApp app(u"DEU");
    EXPECT_TRUE(LoadText(9999).IsEmpty());
    EXPECT_EQ(LoadText(resources::IDS_SIGN_IN).ToUtf8(), German(u"Sign in"));
}

TEST(TkxWinAppTest, LoadTextWithoutALocalizationIsTheEnglishText) {
    ASSERT_EQ(framework::GetLocalization(), nullptr);
    EXPECT_EQ(LoadText(resources::IDS_SIGN_IN).ToUtf8(), "Sign in");
}

}  // namespace
