#include "app/drive_scout_app.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "app/load_text.h"
#include "app/qt_text.h"
#include "framework/localization.h"
#include "framework/prompt_translation.h"
#include "qt_test_app.h"
#include "resources/string_ids.h"

namespace {

struct StartUpCase {
    const char* name;
    std::uint16_t systemLangId;
    std::vector<const char*> arguments;
    std::string chosenCode;     // what SelectLanguage hands to the localization
    std::string systemCode;     // m_language.code afterwards
    const char* shownLanguage;  // language of the texts: "DEU", "CHS" ... or nullptr for English
};

void ExpectStartUp(const StartUpCase& c) {
    SCOPED_TRACE(c.name);
    int asked = 0;
    const SystemLanguageSource previous = SetSystemLanguageSource([&] {
        ++asked;
        return c.systemLangId;
    });
    CDriveScoutApp app;
    QStringList arguments{QStringLiteral("drivescout")};
    for (const char* argument : c.arguments) {
        arguments << QString::fromUtf8(argument);
    }
    const LBString chosen = app.SelectLanguage(arguments);
    SetSystemLanguageSource(previous);

    // The system's language is looked up even when the option decides.
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(chosen.ToUtf8(), c.chosenCode);
    EXPECT_EQ(app.m_language.code.ToUtf8(), c.systemCode);
    ASSERT_NE(framework::GetLocalization(), nullptr);
    EXPECT_EQ(framework::GetLocalization()->GetResourceId(), 148);

    const std::string discover = LoadText(resources::IDS_DISCOVER).ToUtf8();
    if (c.shownLanguage == nullptr) {
        EXPECT_EQ(discover, "Discover");
    } else {
        EXPECT_NE(discover, "Discover");
        EXPECT_EQ(discover, ToQString(framework::TranslatePrompt(u"Discover")).toStdString());
    }
}

TEST(StartUpLanguageTest, ChoosesTheLanguageBeforeAnyWindowExists) {
    const StartUpCase cases[] = {
        StartUpCase{"OptionWinsOverTheSystem", 0x0804, {"/language= deu "}, "DEU", "CHS", "DEU"},
        StartUpCase{"SystemGerman", 0x0407, {}, "DEU", "DEU", "DEU"},
        StartUpCase{"SystemChinesePrc", 0x0804, {}, "CHS", "CHS", "CHS"},
        StartUpCase{"SystemChineseTaiwan", 0x0404, {}, "CHT", "CHT", "CHT"},
        // No exact row: the row of the same primary language.
        StartUpCase{"SystemGermanAustria", 0x0C07, {}, "DEU", "DEU", "DEU"},
        StartUpCase{"SystemSpanishModern", 0x0C0A, {}, "ESP", "ESP", "ESP"},
        StartUpCase{"SystemPortuguesePortugal", 0x0816, {}, "PTB", "PTB", "PTB"},
        StartUpCase{"SystemChineseHongKong", 0x0C04, {}, "CHT", "CHT", "CHT"},
        StartUpCase{"OptionWinsOverSpanish", 0x0C0A, {"LANGUAGE=RUS"}, "RUS", "ESP", "RUS"},
        StartUpCase{"SystemEnglish", 0x0409, {}, "ENU", "ENU", nullptr},
        // Codes the language table lacks fall back to English without a word.
        StartUpCase{"UnknownCode", 0x0407, {"-LANGUAGE=XYZ"}, "XYZ", "DEU", nullptr},
        StartUpCase{"MissingEquals", 0x0407, {"/language"}, "LANGUAGE", "DEU", nullptr},
        // An empty value leaves the choice to the system.
        StartUpCase{"EmptyValue", 0x0407, {"/LANGUAGE="}, "DEU", "DEU", "DEU"},
        // Qt's own options never reach the wizard; other parameters are ignored.
        StartUpCase{"OtherParameters", 0x0409, {"/verbose", "LANGUAGE=fra"}, "FRA", "ENU", "FRA"},
    };
    for (const StartUpCase& c : cases) {
        ExpectStartUp(c);
    }
}

// Qt's own texts (an edit field's context menu, standard buttons) follow the wizard's language
// where the system has Qt's translation, and go back to English with English.
TEST(StartUpLanguageTest, QtsOwnTextsFollowTheLanguage) {
    struct Case {
        const char* option;
        const char* copy;  // QLineEdit's "&Copy" afterwards
    };
    const Case cases[] = {
        {"LANGUAGE=DEU", "&Kopieren"},
        {"LANGUAGE=ENU", "&Copy"},
        {"LANGUAGE=XYZ", "&Copy"},  // unknown: English
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        CDriveScoutApp app;
        app.SelectLanguage({QStringLiteral("drivescout"), QString::fromLatin1(c.option)});
        EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Copy").toStdString(), c.copy);
    }
    // Each language with its own Qt translation in the system gets it.
    for (const char* code :
         {"CHS", "CHT", "ESP", "FRA", "ITA", "JPN", "KOR", "NLD", "PTB", "RUS"}) {
        SCOPED_TRACE(code);
        CDriveScoutApp app;
        app.SelectLanguage({QStringLiteral("drivescout"), QStringLiteral("LANGUAGE=") + code});
        EXPECT_NE(QCoreApplication::translate("QLineEdit", "&Copy").toStdString(), "&Copy");
    }
    // The application object took its translation with it.
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Copy").toStdString(), "&Copy");
}

TEST(DriveScoutAppTest, ConstructedWithTheDictionaryLocalization) {
    CDriveScoutApp app;
    EXPECT_EQ(framework::GetLocalizationType(), framework::kLocalizationDictionary);
    EXPECT_EQ(app.m_language.code.ToUtf8(), "enu");
    EXPECT_EQ(app.m_language.primaryLanguage, 9);
    EXPECT_EQ(app.m_language.subLanguage, 1);
    EXPECT_TRUE(app.m_cmdInfo.m_strLanguage.IsEmpty());
    EXPECT_EQ(app.m_dwRestartManagerSupportFlags, 1u);
}

}  // namespace
