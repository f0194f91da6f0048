#include "framework/merged_dictionary.h"

#include <gtest/gtest.h>

#include "dictionary_fixture.h"
#include "framework/localization_dictionary.h"
#include "platform/resources.h"

namespace {

using fixture::RawStream;
using framework::CLanguage;
using framework::CLocalizationDictionary;
using framework::CMergedLocalizationDictionary;

const std::string kMagic = "Glossmill merged dictionary file";

bool Read(CMergedLocalizationDictionary& target, const std::vector<std::uint8_t>& bytes) {
    return framework::ReadMergedDictionary(target, bytes);
}

TEST(MergedDictionary, WritesTheExactByteLayout) {
    const auto bytes = fixture::Bytes(fixture::Dictionary(
        {{u"OK", {{u"ENU", u"OK"}, {u"DEU", u"Gut"}}}, {u"A", {{u"DEU", u"B"}}}}));
    const auto expected = RawStream()
                              .String(kMagic)
                              .Raw(std::string("\x00\x00\x00\x01", 4))
                              .U32(2)
                              .String("A")  // keys in ascending byte order
                              .U32(1)
                              .Raw("DEU")
                              .String("B")
                              .String("OK")
                              .U32(2)
                              .Raw("DEU")  // translations in ascending code order
                              .String("Gut")
                              .Raw("ENU")
                              .String("OK")
                              .Bytes();
    EXPECT_EQ(bytes, expected);
}

TEST(MergedDictionary, KeysOrderByUnsignedBytes) {
    const auto dictionary =
        fixture::Dictionary({{u"\u00C9cran", {{u"FRA", u"x"}}}, {u"Zed", {{u"FRA", u"y"}}}});
    // 0xC9 sorts after 'Z' (0x5A): a signed comparison would put it first.
    EXPECT_EQ(dictionary.Entries().begin()->first, "Zed");
}

TEST(MergedDictionary, ReadsWhatItWrote) {
    const auto written = fixture::Dictionary(fixture::SampleEntries());
    CMergedLocalizationDictionary read;
    ASSERT_TRUE(Read(read, fixture::Bytes(written)));
    ASSERT_EQ(read.Entries().size(), written.Entries().size());
    for (const auto& [key, translations] : written.Entries()) {
        ASSERT_TRUE(read.Entries().contains(key)) << key;
        using Plain = std::map<CLanguage, std::string>;
        const Plain& readBack = read.Entries().at(key);
        const Plain& original = translations;
        EXPECT_EQ(readBack, original);
    }
}

struct MalformedCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
};

class MalformedDictionary : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedDictionary, IsRejectedAndLeavesTheTargetUnchanged) {
    CMergedLocalizationDictionary target;
    ASSERT_TRUE(Read(target, fixture::Bytes(fixture::Dictionary({{u"Keep", {{u"DEU", u"x"}}}}))));
    EXPECT_FALSE(Read(target, GetParam().bytes));
    ASSERT_EQ(target.Entries().size(), 1u);
    EXPECT_TRUE(target.Entries().contains("Keep"));
}

std::string OtherMagicOfTheSameLength() {
    std::string magic = kMagic;
    magic[0] = 'g';
    return magic;
}

INSTANTIATE_TEST_SUITE_P(
    Table, MalformedDictionary,
    testing::Values(
        MalformedCase{"Empty", {}}, MalformedCase{"ShorterThanTheMagicLength", {32, 0}},
        MalformedCase{
            "MagicOfRightLengthOtherBytes",
            RawStream().String(OtherMagicOfTheSameLength()).U32(0x01000000).U32(0).Bytes()},
        MalformedCase{"MagicTextUnderShorterLength",
                      RawStream().U32(31).Raw(kMagic).U32(0x01000000).U32(0).Bytes()},
        MalformedCase{"MagicTextWithOneMoreByte",
                      RawStream().String(kMagic + "!").U32(0x01000000).U32(0).Bytes()},
        MalformedCase{
            "MagicPaddedWithZeroBytes",
            RawStream().String(kMagic + std::string(4, '\0')).U32(0x01000000).U32(0).Bytes()},
        MalformedCase{"MagicLengthBeyondTheEnd", RawStream().U32(0xFFFFFFFF).Raw(kMagic).Bytes()},
        MalformedCase{"NoVersion", RawStream().String(kMagic).Bytes()},
        MalformedCase{"NoEntryCount", RawStream().Header().Bytes()},
        MalformedCase{"EntryCountBeyondTheData", RawStream().Header().U32(0xFFFFFFFF).Bytes()},
        MalformedCase{"KeyLengthBeyondTheData",
                      RawStream().Header().U32(1).U32(0xFFFFFFF0).Raw("abc").Bytes()},
        MalformedCase{"TranslationCountBeyondTheData",
                      RawStream().Header().U32(1).String("A").U32(1000).Raw("DEU").Bytes()},
        MalformedCase{
            "TranslationCutShort",
            RawStream().Header().U32(1).String("A").U32(1).Raw("DEU").U32(5).Raw("ab").Bytes()},
        MalformedCase{"SecondEntryMissing",
                      RawStream().Header().U32(2).String("A").U32(0).Bytes()}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return info.param.name; });

TEST(MergedDictionary, EveryTruncationOfAValidDictionaryIsRejected) {
    const auto bytes = fixture::Bytes(fixture::Dictionary(fixture::SampleEntries()));
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        CMergedLocalizationDictionary target;
        const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + length);
        EXPECT_FALSE(Read(target, prefix)) << length;
        EXPECT_TRUE(target.Entries().empty()) << length;
    }
}

TEST(MergedDictionary, AnyVersionIsAccepted) {
    for (std::uint32_t version : {0u, 1u, 0x01000000u, 0xFFFFFFFFu}) {
        CMergedLocalizationDictionary target;
        EXPECT_TRUE(Read(target, RawStream().String(kMagic).U32(version).U32(0).Bytes()))
            << version;
    }
}

TEST(MergedDictionary, StringWithEmbeddedZeroKeepsTheBytesBeforeItAndReadingGoesOn) {
    const auto bytes = RawStream()
                           .Header()
                           .U32(2)
                           .String(std::string("Ab\0cd", 5))
                           .U32(1)
                           .Raw("DEU")
                           .String(std::string("Xy\0z", 4))
                           .String("Next")
                           .U32(0)
                           .Bytes();
    CMergedLocalizationDictionary target;
    ASSERT_TRUE(Read(target, bytes));
    ASSERT_TRUE(target.Entries().contains("Ab"));
    EXPECT_EQ(target.Entries().at("Ab").at(CLanguage::FromCode(u"DEU")), "Xy");
    EXPECT_TRUE(target.Entries().contains("Next"));
}

TEST(MergedDictionary, OfEqualKeysAndLanguagesTheFirstStays) {
    const auto bytes = RawStream()
                           .Header()
                           .U32(2)
                           .String("A")
                           .U32(2)
                           .Raw("DEU")
                           .String("first")
                           .Raw("deu")
                           .String("second")
                           .String("A")
                           .U32(1)
                           .Raw("FRA")
                           .String("dropped")
                           .Bytes();
    CMergedLocalizationDictionary target;
    ASSERT_TRUE(Read(target, bytes));
    const auto& translations = target.Entries().at("A");
    ASSERT_EQ(translations.size(), 1u);
    EXPECT_EQ(translations.at(CLanguage::FromCode(u"DEU")), "first");
}

TEST(MergedDictionary, UnknownCodesAreStoredButNeverServed) {
    const auto bytes = RawStream()
                           .Header()
                           .U32(1)
                           .String("A")
                           .U32(3)
                           .Raw("XYZ")
                           .String("unknown")
                           .Raw(std::string(3, '\0'))
                           .String("zeros")
                           .Raw("DEU")
                           .String("Deutsch")
                           .Bytes();
    CMergedLocalizationDictionary target;
    ASSERT_TRUE(Read(target, bytes));
    // "XYZ" (invalid) and three zero bytes (neutral) compare equal: the first stays.
    EXPECT_EQ(target.Entries().at("A").size(), 2u);
    CLocalizationDictionary runtime;
    EXPECT_FALSE(target.ExtractLanguage(CLanguage::FromCode(u"XYZ"), runtime));
    EXPECT_FALSE(target.ExtractLanguage(CLanguage(), runtime));
    EXPECT_EQ(runtime.Size(), 0u);
    EXPECT_FALSE(target.HasLanguage(CLanguage::FromCode(u"XYZ")));
    EXPECT_TRUE(target.ExtractLanguage(CLanguage::FromCode(u"DEU"), runtime));
    EXPECT_EQ(runtime.Size(), 1u);
}

TEST(MergedDictionary, HasLanguage) {
    const auto dictionary = fixture::Dictionary(fixture::SampleEntries());
    EXPECT_TRUE(dictionary.HasLanguage(CLanguage()));
    EXPECT_TRUE(dictionary.HasLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_TRUE(dictionary.HasLanguage(CLanguage::FromCode(u"chs")));
    EXPECT_FALSE(dictionary.HasLanguage(CLanguage::FromCode(u"SVE")));
    EXPECT_FALSE(dictionary.HasLanguage(CLanguage(-1)));
    EXPECT_FALSE(CMergedLocalizationDictionary().HasLanguage(CLanguage::FromCode(u"DEU")));
}

TEST(MergedDictionary, ExtractConvertsEachSideFromItsCodePage) {
    const auto dictionary =
        fixture::Dictionary({{u"Caf\u00E9", {{u"CHS", u"咖啡"}, {u"RUS", u"Кафе"}}},
                             {u"Only German", {{u"DEU", u"x"}}}});
    CLocalizationDictionary runtime;
    runtime.Insert(u"stale", u"entry");
    ASSERT_TRUE(dictionary.ExtractLanguage(CLanguage::FromCode(u"CHS"), runtime));
    ASSERT_EQ(runtime.Size(), 1u);
    EXPECT_EQ(runtime.Entries().at(u"Caf\u00E9"), u"咖啡");
    ASSERT_TRUE(dictionary.ExtractLanguage(CLanguage::FromCode(u"RUS"), runtime));
    EXPECT_EQ(runtime.Entries().at(u"Caf\u00E9"), u"Кафе");
    EXPECT_FALSE(dictionary.ExtractLanguage(CLanguage::FromCode(u"SVE"), runtime));
    EXPECT_EQ(runtime.Size(), 0u);
}

TEST(MergedDictionary, LoadFindsTheResourceByTypeAndLow16BitsOfTheId) {
    const platform::ResourceModule module(
        {{"DICTIONARY", 148, fixture::Bytes(fixture::Dictionary(fixture::SampleEntries()))},
         {"Dictionary", 149, {1, 2, 3}}},
        {});
    CMergedLocalizationDictionary target;
    EXPECT_FALSE(framework::LoadMergedDictionary(target, nullptr, 148));
    EXPECT_FALSE(framework::LoadMergedDictionary(target, &module, 0));
    EXPECT_FALSE(framework::LoadMergedDictionary(target, &module, 149));  // not a dictionary
    EXPECT_TRUE(target.Entries().empty());
    EXPECT_TRUE(framework::LoadMergedDictionary(target, &module, 148 + 0x10000));
    EXPECT_EQ(target.Entries().size(), fixture::SampleEntries().size());
    // A repeated load drops what is already there.
    EXPECT_TRUE(framework::LoadMergedDictionary(target, &module, 148));
    EXPECT_EQ(target.Entries().size(), fixture::SampleEntries().size());
}

}  // namespace
