#include "framework/language.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "framework/language_table.h"

namespace {

using framework::CLanguage;

struct CodeCase {
    const char16_t* code;
    std::int32_t value;
};

class FromCode : public testing::TestWithParam<CodeCase> {};

TEST_P(FromCode, GivesTheRowNeutralOrInvalid) {
    EXPECT_EQ(CLanguage::FromCode(GetParam().code).GetValue(), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Table, FromCode,
                         testing::Values(CodeCase{u"deu", 7}, CodeCase{u"DEU", 7},
                                         CodeCase{u"DeU", 7}, CodeCase{u"ENU", 0},
                                         CodeCase{u"MSL", 72}, CodeCase{u"esn", 32},
                                         CodeCase{u"ESP", 33}, CodeCase{u"de", -1},
                                         CodeCase{u"DEUT", -1}, CodeCase{u"", -2},
                                         CodeCase{u"XYZ", -1}, CodeCase{u"D E", -1},
                                         CodeCase{nullptr, -1}));

struct RowCase {
    const char16_t* code;
    std::int32_t index;
    std::uint16_t langId;
    const char* culture;
    unsigned codePage;
};

class ShippedLanguages : public testing::TestWithParam<RowCase> {};

TEST_P(ShippedLanguages, HaveTheirIndexLangIdCultureAndCodePage) {
    const RowCase& c = GetParam();
    const CLanguage language = CLanguage::FromCode(c.code);
    EXPECT_EQ(language.GetValue(), c.index);
    EXPECT_EQ(language.GetLangId(), c.langId);
    EXPECT_EQ(language.GetCultureName(), c.culture);
    EXPECT_EQ(language.GetAnsiCodePage(), c.codePage);
    EXPECT_EQ(language.GetCode(), c.code);
    EXPECT_EQ(CLanguage::FromLangId(c.langId), language);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ShippedLanguages,
    testing::Values(
        RowCase{u"CHS", 16, 0x0804, "zh-CN", 936}, RowCase{u"CHT", 15, 0x0404, "zh-TW", 950},
        RowCase{u"DEU", 7, 0x0407, "de-DE", 1252}, RowCase{u"ENU", 0, 0x0409, "en-US", 1252},
        RowCase{u"ESP", 33, 0x040A, "es-ES_tradnl", 1252},
        RowCase{u"FRA", 8, 0x040C, "fr-FR", 1252}, RowCase{u"ITA", 10, 0x0410, "it-IT", 1252},
        RowCase{u"JPN", 5, 0x0411, "ja-JP", 932}, RowCase{u"KOR", 26, 0x0412, "ko-KR", 949},
        RowCase{u"NLD", 14, 0x0413, "nl-NL", 1252}, RowCase{u"PTB", 11, 0x0416, "pt-BR", 1252},
        RowCase{u"RUS", 6, 0x0419, "ru-RU", 1251}, RowCase{u"SVE", 23, 0x041D, "sv-SE", 1252},
        RowCase{u"ESN", 32, 0x0C0A, "es-ES", 1252}, RowCase{u"ENG", 1, 0x0809, "en-GB", 1252},
        RowCase{u"ENC", 2, 0x1009, "en-CA", 1252}, RowCase{u"ENA", 3, 0x0C09, "en-AU", 1252},
        RowCase{u"FRC", 9, 0x0C0C, "fr-CA", 1252}, RowCase{u"PTG", 12, 0x0816, "pt-PT", 1252},
        RowCase{u"ELL", 29, 0x0408, "el-GR", 1253}, RowCase{u"TRK", 30, 0x041F, "tr-TR", 1254},
        RowCase{u"THA", 31, 0x041E, "th-TH", 874}, RowCase{u"PLK", 22, 0x0415, "pl-PL", 1250},
        RowCase{u"HEB", 70, 0x040D, "he-IL", 1255}, RowCase{u"ARA", 54, 0x0401, "ar-SA", 1256},
        RowCase{u"ARS", 66, 0x2801, "ar-SY", 1256}, RowCase{u"ESM", 44, 0x080A, "es-MX", 1252},
        RowCase{u"MSL", 72, 0x043E, "ms-MY", 1252}));

TEST(LanguageTable, HasSeventyThreeRowsWithUniqueCodesAndLangIds) {
    const auto table = framework::LanguageTable();
    ASSERT_EQ(table.size(), 73u);
    std::set<std::string_view> codes;
    std::set<std::uint16_t> langIds;
    for (const auto& row : table) {
        codes.insert(row.code);
        langIds.insert(row.langId);
        EXPECT_EQ(row.code.size(), 3u);
        EXPECT_NE(row.ansiCodePage, 0u) << row.code;
    }
    EXPECT_EQ(codes.size(), 73u);
    EXPECT_EQ(langIds.size(), 73u);
}

TEST(LanguageTable, SixteenArabicAndEighteenLatinAmericanSpanishRows) {
    int arabic = 0;
    int spanishVariants = 0;
    for (const auto& row : framework::LanguageTable()) {
        arabic += (row.langId & 0x3FF) == 0x01;
        spanishVariants +=
            (row.langId & 0x3FF) == 0x0A && row.langId != 0x040A && row.langId != 0x0C0A;
    }
    EXPECT_EQ(arabic, 16);
    EXPECT_EQ(spanishVariants, 18);
}

TEST(Language, NeutralAndInvalidHaveNoProperties) {
    for (const CLanguage& language : {CLanguage(), CLanguage(-1), CLanguage(73), CLanguage(-7)}) {
        EXPECT_FALSE(language.IsValid());
        EXPECT_EQ(language.GetCode(), u"");
        EXPECT_EQ(language.GetLangId(), 0);
        EXPECT_EQ(language.GetAnsiCodePage(), 0u);
        EXPECT_EQ(language.GetCultureName(), "");
    }
    EXPECT_TRUE(CLanguage().IsNeutral());
    EXPECT_FALSE(CLanguage(-1).IsNeutral());
    EXPECT_EQ(CLanguage::FromLangId(0x0C07).GetValue(), -1);  // German (Austria): no row
}

TEST(Language, OrdersByCodeIgnoringCaseWithNonRowsFirstAndAllEqual) {
    const CLanguage chs = CLanguage::FromCode(u"CHS");
    const CLanguage deu = CLanguage::FromCode(u"DEU");
    EXPECT_LT(chs, deu);
    EXPECT_LT(CLanguage(-1), chs);
    EXPECT_LT(CLanguage(), chs);
    EXPECT_EQ(CLanguage(-1), CLanguage());
    EXPECT_EQ(CLanguage(-1), CLanguage(500));
    EXPECT_EQ(CLanguage::FromCode(u"deu"), deu);
    // Index order is not code order: ENU (0) sorts after DEU (7).
    EXPECT_LT(deu, CLanguage::FromCode(u"ENU"));
}

}  // namespace
