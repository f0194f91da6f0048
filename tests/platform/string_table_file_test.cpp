#include "platform/string_table_file.h"

#include <gtest/gtest.h>

namespace {

TEST(StringTableFile, ReadsEntriesVersionAndEscapes) {
    const auto parsed = platform::parseStringTableFile(
        "# comment\n"
        "version\t1.0.0.0\r\n"
        "\n"
        "148\tDiscover\n"
        "162\tYou are logged in as \\\"%s\\\"\n"
        "157\t%d found. \n"
        "190\ta\\tb\\r\\nc\\\\\n"
        "200\t\n"
        "201\tПоиск");
    ASSERT_TRUE(parsed.table.has_value()) << parsed.error;
    const auto& strings = parsed.table->strings;
    EXPECT_EQ(parsed.table->version, "1.0.0.0");
    EXPECT_EQ(strings.at(148), u"Discover");
    EXPECT_EQ(strings.at(162), u"You are logged in as \"%s\"");
    EXPECT_EQ(strings.at(157), u"%d found. ");  // the trailing blank stays
    EXPECT_EQ(strings.at(190), u"a\tb\r\nc\\");
    EXPECT_EQ(strings.at(200), u"");
    EXPECT_EQ(strings.at(201), u"Поиск");
    EXPECT_EQ(strings.size(), 6u);
}

struct BadCase {
    const char* name;
    const char* text;
    const char* error;
};

class StringTableFileErrors : public testing::TestWithParam<BadCase> {};

TEST_P(StringTableFileErrors, NameTheLine) {
    const auto parsed = platform::parseStringTableFile(GetParam().text);
    EXPECT_FALSE(parsed.table.has_value());
    EXPECT_EQ(parsed.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StringTableFileErrors,
    testing::Values(BadCase{"NoTab", "148 Discover\n", "line 1: expected <id><TAB><text>"},
                    BadCase{"IdNotANumber", "1x\tA\n", "line 1: the id is not a decimal number"},
                    BadCase{"EmptyId", "\tA\n", "line 1: the id is not a decimal number"},
                    BadCase{"IdTooLarge", "4294967296\tA\n",
                            "line 1: the id is not a decimal number"},
                    BadCase{"Duplicate", "1\tA\n# x\n1\tB\n", "line 3: duplicate id 1"},
                    BadCase{"UnknownEscape", "1\ta\\qb\n", "line 1: bad escape"},
                    BadCase{"LoneBackslash", "1\tab\\\n", "line 1: bad escape"}),
    [](const testing::TestParamInfo<BadCase>& info) { return info.param.name; });

TEST(StringTableFile, EscapeAndUnescapeAreInverse) {
    for (std::string text : {"", "plain", "a\tb", "c:\\\\share\\", "line\r\nbreak"}) {
        EXPECT_EQ(platform::unescapeField(platform::escapeField(text)), text);
    }
}

}  // namespace
