#include "app/language_choice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SystemLanguageCase {
    std::uint16_t langId;
    std::string code;  // the record's code afterwards
    std::uint16_t primary;
    std::uint16_t sub;
};

void ExpectChoice(const SystemLanguageCase& c) {
    SCOPED_TRACE(testing::Message() << std::hex << c.langId);
    LanguageChoice choice;
    EXPECT_TRUE(ChooseLanguageFromLangId(choice, c.langId));
    EXPECT_EQ(choice.code.ToUtf8(), c.code);
    EXPECT_EQ(choice.primaryLanguage, c.primary);
    EXPECT_EQ(choice.subLanguage, c.sub);
}

TEST(SystemLanguageTest, MatchesPrimaryAndSubLanguageExactly) {
    const SystemLanguageCase cases[] = {
        SystemLanguageCase{0x0804, "CHS", 0x04, 0x02},
        SystemLanguageCase{0x0404, "CHT", 0x04, 0x01},
        SystemLanguageCase{0x0407, "DEU", 0x07, 0x01},
        SystemLanguageCase{0x0409, "ENU", 0x09, 0x01},
        SystemLanguageCase{0x040A, "ESP", 0x0A, 0x01},
        SystemLanguageCase{0x040C, "FRA", 0x0C, 0x01},
        SystemLanguageCase{0x0410, "ITA", 0x10, 0x01},
        SystemLanguageCase{0x0411, "JPN", 0x11, 0x01},
        SystemLanguageCase{0x0412, "KOR", 0x12, 0x01},
        SystemLanguageCase{0x0413, "NLD", 0x13, 0x01},
        SystemLanguageCase{0x0416, "PTB", 0x16, 0x01},
        SystemLanguageCase{0x0419, "RUS", 0x19, 0x01},
        SystemLanguageCase{0x041D, "SVE", 0x1D, 0x01},
        // No exact row: the row of the same primary language.
        SystemLanguageCase{0x0C07, "DEU", 0x07, 0x01},  // German (Austria)
        SystemLanguageCase{0x0807, "DEU", 0x07, 0x01},  // German (Switzerland)
        SystemLanguageCase{0x0C0A, "ESP", 0x0A, 0x01},  // Spanish (Spain), modern sort
        SystemLanguageCase{0x080A, "ESP", 0x0A, 0x01},  // Spanish (Mexico)
        SystemLanguageCase{0x2C0A, "ESP", 0x0A, 0x01},  // Spanish (Argentina)
        SystemLanguageCase{0x0809, "ENU", 0x09, 0x01},  // English (United Kingdom)
        SystemLanguageCase{0x0816, "PTB", 0x16, 0x01},  // Portuguese (Portugal)
        SystemLanguageCase{0x080C, "FRA", 0x0C, 0x01},  // French (Belgium)
        SystemLanguageCase{0x0813, "NLD", 0x13, 0x01},  // Dutch (Belgium)
        SystemLanguageCase{0x081D, "SVE", 0x1D, 0x01},  // Swedish (Finland)
        // Chinese by script.
        SystemLanguageCase{0x0C04, "CHT", 0x04, 0x01},  // Hong Kong
        SystemLanguageCase{0x1404, "CHT", 0x04, 0x01},  // Macao
        SystemLanguageCase{0x1004, "CHS", 0x04, 0x02},  // Singapore
        // A language the table does not have: the record keeps its English default.
        SystemLanguageCase{0x0415, "enu", 9, 1},  // Polish
        SystemLanguageCase{0x0000, "enu", 9, 1}};
    for (const SystemLanguageCase& c : cases) {
        ExpectChoice(c);
    }
}

TEST(SystemLanguageTest, WithoutAMatchAnEarlierChoiceStays) {
    LanguageChoice choice;
    ChooseLanguageFromLangId(choice, 0x0419);
    ChooseLanguageFromLangId(choice, 0x0415);  // Polish: not offered
    EXPECT_EQ(choice.code.ToUtf8(), "RUS");
}

TEST(SystemLanguageTest, AsksTheInstalledSource) {
    int asked = 0;
    const SystemLanguageSource previous = SetSystemLanguageSource([&] {
        ++asked;
        return std::uint16_t(0x0411);
    });
    LanguageChoice choice;
    EXPECT_TRUE(ChooseLanguageFromSystem(choice));
    SetSystemLanguageSource(previous);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(choice.code.ToUtf8(), "JPN");
}

}  // namespace
