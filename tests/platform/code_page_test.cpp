#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DecodeCase {
    const char* name;
    unsigned codePage;
    std::string bytes;
    std::u16string expected;
};

class CodePageDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(CodePageDecode, GivesTheUtf16Text) {
    const DecodeCase& c = GetParam();
    EXPECT_EQ(platform::codePageToUtf16(c.codePage, c.bytes), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodePageDecode,
    testing::Values(DecodeCase{"WesternUmlautAndEuro", 1252, "Gr\xFC\xDF \x80", u"Grüß €"},
                    DecodeCase{"SimplifiedChinese", 936, "\xB7\xA2\xCF\xD6", u"发现"},
                    DecodeCase{"TraditionalChinese", 950, "\xB1\xB4\xAF\xC1", u"探索"},
                    DecodeCase{"Japanese", 932, "\x8C\x9F\x8F\x6F", u"検出"},
                    DecodeCase{"Korean", 949, "\xB0\xCB\xBB\xF6", u"검색"},
                    DecodeCase{"Russian", 1251, "\xCF\xEE\xE8\xF1\xEA", u"Поиск"},
                    DecodeCase{"Greek", 1253, "\xC1\xE8\xDE\xED\xE1", u"Αθήνα"},
                    DecodeCase{"Thai", 874, "\xA1", u"ก"},
                    DecodeCase{"ZeroCodePageIsTheActiveAnsiPage", 0, "caf\xE9", u"café"},
                    DecodeCase{"CutAtTheFirstZero", 1252, std::string("ab\0cd", 5), u"ab"},
                    DecodeCase{"UndefinedByteBecomesReplacement", 1252, "a\x81z", u"a\uFFFDz"},
                    DecodeCase{"LoneLeadByteAtTheEnd", 932, "a\x82", u"a\uFFFD"},
                    DecodeCase{"InvalidTrailByteGoesOn", 936, "\x81\x20x", u"\uFFFD x"},
                    DecodeCase{"UnknownCodePageGivesEmpty", 12345, "abc", u""},
                    DecodeCase{"Empty", 1252, "", u""}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

TEST(CodePage, EncodesAndDecodesEveryTablePage) {
    for (unsigned codePage :
         {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u}) {
        SCOPED_TRACE(codePage);
        EXPECT_TRUE(platform::isCodePageSupported(codePage));
        const auto bytes = platform::utf16ToCodePage(codePage, u"Drive Scout 1.0");
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(platform::codePageToUtf16(codePage, *bytes), u"Drive Scout 1.0");
    }
    EXPECT_FALSE(platform::isCodePageSupported(4242));
}

TEST(CodePage, RefusesCharactersOutsideTheCodePage) {
    EXPECT_FALSE(platform::utf16ToCodePage(1252, u"Поиск").has_value());
    EXPECT_FALSE(platform::utf16ToCodePage(1251, u"検出").has_value());
    EXPECT_FALSE(platform::utf16ToCodePage(936, u"검색").has_value());
    EXPECT_FALSE(platform::utf16ToCodePage(4242, u"abc").has_value());
}

TEST(CodePage, RefusesTextThatWouldNotComeBackUnchanged) {
    // An embedded zero would cut the text when it is read back.
    EXPECT_FALSE(platform::utf16ToCodePage(1252, std::u16string(u"a\0b", 3)).has_value());
}

TEST(CodePage, EncodesDoubleByteText) {
    EXPECT_EQ(platform::utf16ToCodePage(932, u"検出"), std::string("\x8C\x9F\x8F\x6F"));
    EXPECT_EQ(platform::utf16ToCodePage(949, u"검색"), std::string("\xB0\xCB\xBB\xF6"));
}

}  // namespace
