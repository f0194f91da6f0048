#include "upnp/text_parsing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace upnp {
namespace {

std::vector<std::string> asStrings(const ParseResult& result) {
    return std::vector<std::string>(result.tokens.begin(), result.tokens.end());
}

struct SplitRow {
    std::string text;
    std::string delimiter;
    std::vector<std::string> tokens;
};

class ParseStringRows : public ::testing::TestWithParam<SplitRow> {};

TEST_P(ParseStringRows, SplitsAsExpected) {
    const SplitRow& row = GetParam();
    EXPECT_EQ(asStrings(parseString(row.text, row.delimiter)), row.tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseStringRows,
    ::testing::Values(
        SplitRow{"a,,b", ",", {"a", "", "b"}}, SplitRow{"", ",", {""}},
        SplitRow{",", ",", {"", ""}}, SplitRow{"a,", ",", {"a", ""}}, SplitRow{"abc", ",", {"abc"}},
        SplitRow{"uuid:1234::upnp:rootdevice", "::", {"uuid:1234", "upnp:rootdevice"}},
        // Overlapping delimiter text: the scan continues after each match.
        SplitRow{"a:::b", "::", {"a", ":b"}},
        SplitRow{"L1\r\nL2\nstill L2\r\n\r\nbody", "\r\n", {"L1", "L2\nstill L2", "", "body"}},
        // A delimiter that never fits: the whole text is one token.
        SplitRow{"ab", "abc", {"ab"}}, SplitRow{"ab", "", {"ab"}}));

TEST(ParseString, TokensPointIntoTheSource) {
    const std::string text = "x y";
    const ParseResult result = parseString(text, " ");
    ASSERT_EQ(result.count(), 2u);
    EXPECT_EQ(result[0].data(), text.data());
    EXPECT_EQ(result[1].data(), text.data() + 2);
}

class ParseStringQuotedRows : public ::testing::TestWithParam<SplitRow> {};

TEST_P(ParseStringQuotedRows, SplitsOutsideQuotes) {
    const SplitRow& row = GetParam();
    EXPECT_EQ(asStrings(parseStringQuoted(row.text, row.delimiter)), row.tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseStringQuotedRows,
    ::testing::Values(SplitRow{"name=\"a b\" c", " ", {"name=\"a b\"", "c"}},
                      SplitRow{"a b", " ", {"a", "b"}}, SplitRow{"", " ", {""}},
                      SplitRow{"x='1 2' y='3'", " ", {"x='1 2'", "y='3'"}},
                      // The first quotation mark chooses the quote character for the rest of
                      // the text: after a single quote, double quotes are ordinary bytes.
                      SplitRow{"a='x' b=\"y z\"", " ", {"a='x'", "b=\"y", "z\""}},
                      // An unclosed quote keeps the rest of the text in one token.
                      SplitRow{"a=\"b c d", " ", {"a=\"b c d"}},
                      SplitRow{"k=\"a,b\",c", ",", {"k=\"a,b\"", "c"}},
                      SplitRow{"  ", " ", {"", "", ""}}));

struct TrimRow {
    std::string text;
    std::string trimmed;
};

class TrimRows : public ::testing::TestWithParam<TrimRow> {};

TEST_P(TrimRows, RemovesBlanksAtBothEnds) {
    EXPECT_EQ(trimWhitespace(GetParam().text), GetParam().trimmed);
}

INSTANTIATE_TEST_SUITE_P(Rows, TrimRows,
                         ::testing::Values(TrimRow{"   42  ", "42"}, TrimRow{"\t a b \t", "a b"},
                                           TrimRow{"x", "x"}, TrimRow{"", ""},
                                           // Only space and tab are blanks.
                                           TrimRow{"\r\nx\r\n", "\r\nx\r\n"},
                                           // Nothing but blanks: returned unchanged.
                                           TrimRow{"   ", "   "}, TrimRow{" \t", " \t"}));

TEST(TrimWhitespace, ResultPointsIntoTheSource) {
    const std::string text = "  ab ";
    const std::string_view trimmed = trimWhitespace(text);
    EXPECT_EQ(trimmed.data(), text.data() + 2);
    EXPECT_EQ(trimmed.size(), 2u);
}

TEST(FindWhiteSpace, Table) {
    EXPECT_EQ(findWhiteSpace("abc def"), 3);
    EXPECT_EQ(findWhiteSpace("a\tb"), 1);
    EXPECT_EQ(findWhiteSpace("ab\n"), 2);
    EXPECT_EQ(findWhiteSpace("\rx"), 0);
    EXPECT_EQ(findWhiteSpace("abc"), -1);
    EXPECT_EQ(findWhiteSpace(""), -1);
    EXPECT_EQ(findWhiteSpace(std::string_view("a\0 ", 3)), 2);
}

TEST(ParseDecimal, Table) {
    EXPECT_EQ(parseDecimal("200"), 200);
    EXPECT_EQ(parseDecimal("1800abc"), 1800);
    EXPECT_EQ(parseDecimal("abc"), 0);
    EXPECT_EQ(parseDecimal(""), 0);
    EXPECT_EQ(parseDecimal("-5"), 0);
    EXPECT_EQ(parseDecimal(" 5"), 0);
    EXPECT_EQ(parseDecimal("2147483647"), 2147483647);
    EXPECT_EQ(parseDecimal("2147483648"), 0);
    EXPECT_EQ(parseDecimal("99999999999999999999999"), 0);
}

TEST(EqualsIgnoringCase, AsciiLettersOnly) {
    EXPECT_TRUE(equalsIgnoringCase("Transfer-Encoding", "transfer-encoding"));
    EXPECT_TRUE(equalsIgnoringCase("CHUNKED", "chunked"));
    EXPECT_TRUE(equalsIgnoringCase("", ""));
    EXPECT_FALSE(equalsIgnoringCase("close", "closed"));
    EXPECT_FALSE(equalsIgnoringCase("close", "clos"));
    // '@' and '`' sit next to the letters; only A-Z fold.
    EXPECT_FALSE(equalsIgnoringCase("@", "`"));
    EXPECT_FALSE(equalsIgnoringCase("[", "{"));
    // Bytes beyond ASCII are compared as they are.
    EXPECT_FALSE(equalsIgnoringCase("\xc3\x89", "\xc3\xa9"));
    EXPECT_TRUE(equalsIgnoringCase(std::string_view("a\0B", 3), std::string_view("A\0b", 3)));
}

}  // namespace
}  // namespace upnp
