#include "platform/system_language.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct LocaleCase {
    const char* locale;
    std::uint16_t langId;
};

class LocaleToLangId : public testing::TestWithParam<LocaleCase> {};

TEST_P(LocaleToLangId, MatchesWhatWindowsReports) {
    EXPECT_EQ(platform::langIdFromLocaleName(GetParam().locale), GetParam().langId)
        << GetParam().locale;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LocaleToLangId,
    testing::Values(
        LocaleCase{"de_DE.UTF-8", 0x0407}, LocaleCase{"de_AT.UTF-8", 0x0C07},  // no wizard row
        LocaleCase{"es_ES.UTF-8", 0x0C0A},                                     // modern sort
        LocaleCase{"zh_CN.UTF-8", 0x0804}, LocaleCase{"zh_TW.UTF-8", 0x0404},
        LocaleCase{"ja_JP.eucJP", 0x0411}, LocaleCase{"ko_KR", 0x0412}, LocaleCase{"ru_RU", 0x0419},
        LocaleCase{"pt_BR", 0x0416}, LocaleCase{"pt_PT", 0x0816}, LocaleCase{"nl_NL", 0x0413},
        LocaleCase{"fr_FR", 0x040C}, LocaleCase{"fr_CA", 0x0C0C}, LocaleCase{"it_IT", 0x0410},
        LocaleCase{"sv_SE", 0x041D}, LocaleCase{"en_GB", 0x0809}, LocaleCase{"en_US.UTF-8", 0x0409},
        LocaleCase{"de_DE@euro", 0x0407}, LocaleCase{"de", 0x0407},  // language alone
        LocaleCase{"de_BE", 0x0407},                                 // unknown region
        LocaleCase{"C", 0x0409}, LocaleCase{"C.UTF-8", 0x0409}, LocaleCase{"POSIX", 0x0409},
        LocaleCase{"", 0x0409}, LocaleCase{"xx_YY", 0x0409}, LocaleCase{"_", 0x0409}));

TEST(SystemLanguage, LcAllWinsOverLcMessagesOverLang) {
    EXPECT_EQ(platform::systemDefaultLangId("ja_JP", "de_DE", "fr_FR"), 0x0411);
    EXPECT_EQ(platform::systemDefaultLangId("", "de_DE", "fr_FR"), 0x0407);
    EXPECT_EQ(platform::systemDefaultLangId("", "", "fr_FR"), 0x040C);
    EXPECT_EQ(platform::systemDefaultLangId("", "", ""), 0x0409);
}

TEST(SystemLanguage, ReadsTheEnvironment) {
    ::setenv("LC_ALL", "zh_TW.UTF-8", 1);
    EXPECT_EQ(platform::systemDefaultLangId(), 0x0404);
    ::unsetenv("LC_ALL");
}

}  // namespace
