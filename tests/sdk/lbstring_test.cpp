#include "sdk/LBString.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string utf8(const LBString& s) {
    return s.ToUtf8();
}

TEST(LBString, EmptyFromEmptyTextEqualsNeverAssigned) {
    LBString never;
    LBString fromEmpty(u"");
    LBString fromNull(static_cast<const char16_t*>(nullptr));
    LBString fromNarrowEmpty("");
    for (const LBString* s : {&never, &fromEmpty, &fromNull, &fromNarrowEmpty}) {
        EXPECT_EQ(s->GetLength(), 0);
        EXPECT_TRUE(s->IsEmpty());
        ASSERT_NE(s->GetString(), nullptr);
        EXPECT_EQ(s->GetString()[0], 0);
        EXPECT_EQ(s->CompareNoCase(never), 0);
        EXPECT_TRUE(*s == never);
        // Empty texts hold no buffer at all.
        LBString copy(*s);
        EXPECT_EQ(copy.Detach().p, nullptr);
    }
}

TEST(LBString, ConstructionTable) {
    struct Case {
        LBString value;
        const char* expected;
    };
    const Case cases[] = {
        {LBString(u"abc"), "abc"},
        {LBString("h\xC3\xA9llo"), "h\xC3\xA9llo"},  // UTF-8 narrow text
        {LBString(u'x', 3), "xxx"},
        {LBString(u'x', 0), ""},
        {LBString(u'x', -2), ""},
        {LBString(u"abcdef", 3), "abc"},
        {LBString(u"abc", 3), "abc"},
        {LBString(u"abc", 10), "abc"},
        {LBString(u"abc", 0), ""},
        {LBString(u"abc", -1), ""},
        {LBString(static_cast<const char16_t*>(nullptr), 4), ""},
        {LBString::FromUtf8("a\xFF"
                            "b"),
         "a\xEF\xBF\xBD"
         "b"},  // bad byte → U+FFFD
        {LBString::FromUtf16(std::u16string_view(u"ab\0cd", 5)), "ab"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8(c.value), c.expected);
        EXPECT_EQ(c.value.IsEmpty(), std::strlen(c.expected) == 0);
    }
}

TEST(LBString, CopiesAreDeep) {
    LBString a(u"text");
    LBString b(a);
    LBString c;
    c = a;
    EXPECT_NE(a.GetString(), b.GetString());
    EXPECT_NE(a.GetString(), c.GetString());
    a += u"!";
    EXPECT_EQ(utf8(a), "text!");
    EXPECT_EQ(utf8(b), "text");
    EXPECT_EQ(utf8(c), "text");
    c = c;  // self-assignment keeps the text
    EXPECT_EQ(utf8(c), "text");
    c = c.GetString();  // assignment from our own buffer
    EXPECT_EQ(utf8(c), "text");
}

TEST(LBString, MoveLeavesSourceEmpty) {
    LBString a(u"abc");
    LBString b(std::move(a));
    EXPECT_TRUE(a.IsEmpty());  // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_EQ(utf8(b), "abc");
}

TEST(LBString, AppendAndConcatenate) {
    LBString a(u"ab");
    a += LBString(u"cd");
    a += u"";
    a += static_cast<const char16_t*>(nullptr);
    EXPECT_EQ(utf8(a), "abcd");
    EXPECT_EQ(utf8(LBString(u"x") + LBString(u"y")), "xy");
    EXPECT_EQ(utf8(LBString() + LBString()), "");
    LBString self(u"ha");
    self += self;
    EXPECT_EQ(utf8(self), "haha");
}

TEST(LBString, CompareNoCaseTable) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int expected;
    };
    const Case cases[] = {
        {u"Public", u"PUBLIC", 0}, {u"", u"a", -1},      {u"a", u"", 1},      {u"", u"", 0},
        {u"", nullptr, 0},         {u"abc", u"abd", -1}, {u"abd", u"ABC", 1}, {u"ab", u"abc", -1},
        {u"abc", u"AB", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LBString(c.a).CompareNoCase(c.b), c.expected) << utf8(LBString(c.a));
}

TEST(LBString, FindTable) {
    LBString s(u"abcabc");
    EXPECT_EQ(s.Find(u"bc"), 1);
    EXPECT_EQ(s.Find(u"bc", 2), 4);
    EXPECT_EQ(s.Find(u"bc", 5), -1);
    EXPECT_EQ(s.Find(u"zz"), -1);
    EXPECT_EQ(s.Find(u"a", 7), -1);  // beyond the length
    EXPECT_EQ(LBString().Find(u"a"), -1);
    EXPECT_EQ(s.Find(u'c'), 2);
    EXPECT_EQ(s.ReverseFind(u'b'), 4);
    EXPECT_EQ(s.ReverseFind(u'z'), -1);
    EXPECT_EQ(LBString().ReverseFind(u'a'), -1);
}

TEST(LBString, MidLeftRightTable) {
    LBString abc(u"abc");
    struct Case {
        LBString value;
        const char* expected;
    };
    const Case cases[] = {
        {abc.Mid(5, 1), ""},  {abc.Mid(1, 10), "bc"},     {abc.Mid(-3, 2), "ab"},
        {abc.Mid(1, -1), ""}, {abc.Mid(3, 1), ""},        {abc.Mid(1), "bc"},
        {abc.Left(-1), ""},   {abc.Left(2), "ab"},        {abc.Left(3), "abc"},
        {abc.Left(9), "abc"}, {abc.Right(10), "abc"},     {abc.Right(1), "c"},
        {abc.Right(-1), ""},  {LBString().Mid(0, 1), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(utf8(c.value), c.expected);
}

TEST(LBString, TrimTable) {
    LBString s(u" \t x y \r\n");
    s.TrimLeft();
    EXPECT_EQ(utf8(s), "x y \r\n");
    s.TrimRight();
    EXPECT_EQ(utf8(s), "x y");
    LBString spaces(u"   ");
    spaces.TrimRight();
    EXPECT_TRUE(spaces.IsEmpty());
    EXPECT_EQ(spaces.Detach().p, nullptr);  // an emptied text releases its buffer
    LBString slashes(u"a\\b\\\\");
    slashes.TrimRight(u'\\');
    EXPECT_EQ(utf8(slashes), "a\\b");
}

TEST(LBString, RemovePrefixAndSuffix) {
    LBString unc(u"\\\\192.168.1.20\\Public");
    EXPECT_TRUE(unc.RemovePrefix(u"\\\\"));
    EXPECT_EQ(utf8(unc), "192.168.1.20\\Public");
    EXPECT_FALSE(unc.RemovePrefix(u"\\\\"));  // only once

    LBString drive(u"Z:");
    EXPECT_TRUE(drive.RemoveSuffix(u":"));
    EXPECT_EQ(utf8(drive), "Z");
    EXPECT_FALSE(drive.RemoveSuffix(u":"));
    EXPECT_EQ(utf8(drive), "Z");

    LBString mixed(u"HomeVault-Public");
    EXPECT_TRUE(mixed.RemovePrefix(u"homevault-"));
    EXPECT_TRUE(mixed.RemoveSuffix(u"LIC"));
    EXPECT_EQ(utf8(mixed), "Pub");
    EXPECT_FALSE(mixed.RemoveSuffix(u"longer than the text"));
}

TEST(LBString, DeleteTable) {
    struct Case {
        int start;
        int count;
        const char* expected;
    };
    const Case cases[] = {
        {1, 1, "ac"}, {-5, 1, "bc"}, {1, 10, "a"}, {3, 1, "abc"}, {0, 0, "abc"}, {0, 3, ""},
    };
    for (const Case& c : cases) {
        LBString s(u"abc");
        EXPECT_EQ(s.Delete(c.start, c.count), int(std::strlen(c.expected)));
        EXPECT_EQ(utf8(s), c.expected);
    }
}

TEST(LBString, FormatTable) {
    struct Case {
        LBString value;
        const char* expected;
    };
    auto fmt = [](const char16_t* format, auto... args) {
        LBString s;
        s.Format(format, args...);
        return s;
    };
    const Case cases[] = {
        {fmt(u"%s=%d", u"n", 42), "n=42"},
        {fmt(u"%5s|%-5s|", u"ab", u"cd"), "   ab|cd   |"},
        {fmt(u"%.2s", u"abcdef"), "ab"},
        {fmt(u"%*d", 4, 7), "   7"},
        {fmt(u"%-*d|", 3, 7), "7  |"},
        {fmt(u"%u %x %X %o", 3000000000u, 255u, 255u, 8u), "3000000000 ff FF 10"},
        {fmt(u"%ld %lu", -5L, 6UL), "-5 6"},
        {fmt(u"%lld", -9000000000LL), "-9000000000"},
        {fmt(u"%05d", -42), "-0042"},
        {fmt(u"%c%c", int(u'\u00e9'), int(u'x')), "\xC3\xA9x"},
        {fmt(u"100%%"), "100%"},
        {fmt(u"%hs", "narrow \xC3\xA9"), "narrow \xC3\xA9"},
        {fmt(u"%s", static_cast<const char16_t*>(nullptr)), "(null)"},
        {fmt(u"%.3f", 2.5), "2.500"},
        {fmt(u"%q %n"), "%q %n"},
        {fmt(u"trailing %"), "trailing %"},
        {fmt(u""), ""},
        {fmt(u"GetLastError=%d", 1326), "GetLastError=1326"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(utf8(c.value), c.expected);
}

TEST(LBString, FormatBufferIsExact) {
    LBString s;
    s.Format(u"%s-%s", u"abc", u"de");
    LBStringArg raw = s.Detach();
    ASSERT_NE(raw.p, nullptr);
    EXPECT_EQ(std::u16string_view(raw.p), u"abc-de");
    std::free(raw.p);
}

TEST(LBString, AdoptAttachDetachMoveTheBuffer) {
    auto* buffer = static_cast<char16_t*>(std::malloc(3 * sizeof(char16_t)));
    buffer[0] = u'o';
    buffer[1] = u'k';
    buffer[2] = 0;
    LBString adopted = LBString::Adopt({buffer});
    EXPECT_EQ(adopted.GetString(), buffer);
    LBStringArg out = adopted.Detach();
    EXPECT_EQ(out.p, buffer);
    EXPECT_TRUE(adopted.IsEmpty());
    LBString other(u"old");
    other.Attach(out);  // releases "old", keeps buffer; ASan would flag a leak or double free
    EXPECT_EQ(utf8(other), "ok");
    EXPECT_TRUE(LBString::Adopt({nullptr}).IsEmpty());
}

TEST(LBString, NarrowAssignmentAndUtf8RoundTrip) {
    LBString s;
    s = "Gr\xC3\xBC\xC3\x9F"
        "e";
    EXPECT_EQ(s.GetLength(), 5);
    EXPECT_EQ(utf8(s),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    s = u"\U0001F600";  // one code point, two UTF-16 units
    EXPECT_EQ(s.GetLength(), 2);
    EXPECT_EQ(utf8(s), "\xF0\x9F\x98\x80");
}

}  // namespace
