#include "framework/dictionary_language.h"

#include <gtest/gtest.h>

#include "dictionary_fixture.h"
#include "framework/localization_dictionary.h"
#include "framework/merged_dictionary.h"
#include "platform/resources.h"

namespace {

using framework::CLanguage;

class DictionaryLanguage : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        static const platform::ResourceModule module(
            {{"Dictionary", 148, fixture::Bytes(fixture::Dictionary(fixture::SampleEntries()))}},
            {});
        ASSERT_TRUE(framework::LoadMergedDictionary(&module, 148));
    }
    ~DictionaryLanguage() override { (void)framework::SelectDictionaryLanguage(CLanguage()); }

    static std::u16string Translated(std::u16string_view key) {
        std::u16string out = u"(untranslated)";
        (void)framework::GetRuntimeDictionary().Translate(key, out);
        return out;
    }
};

TEST_F(DictionaryLanguage, EsnIsServedByTheEspColumn) {
    EXPECT_TRUE(framework::SelectDictionaryLanguage(CLanguage::FromCode(u"esn")));
    EXPECT_EQ(Translated(u"OK"), u"Aceptar");
    EXPECT_TRUE(framework::IsDictionaryLanguageAvailable(CLanguage::FromCode(u"ESN")));
}

TEST_F(DictionaryLanguage, ALanguageTheDictionaryLacksEmptiesAndFails) {
    ASSERT_TRUE(framework::SelectDictionaryLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_FALSE(framework::SelectDictionaryLanguage(CLanguage::FromCode(u"SVE")));
    EXPECT_EQ(framework::GetRuntimeDictionary().Size(), 0u);
    EXPECT_FALSE(framework::IsDictionaryLanguageAvailable(CLanguage::FromCode(u"SVE")));
}

TEST_F(DictionaryLanguage, AnUnknownCodeEmptiesAndFails) {
    ASSERT_TRUE(framework::SelectDictionaryLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_FALSE(framework::SelectDictionaryLanguage(CLanguage::FromCode(u"XYZ")));
    EXPECT_EQ(framework::GetRuntimeDictionary().Size(), 0u);
    EXPECT_FALSE(framework::IsDictionaryLanguageAvailable(CLanguage(-1)));
}

TEST_F(DictionaryLanguage, NeutralEmptiesAndSucceeds) {
    ASSERT_TRUE(framework::SelectDictionaryLanguage(CLanguage::FromCode(u"CHS")));
    EXPECT_EQ(Translated(u"Discover"), u"发现");
    EXPECT_TRUE(framework::SelectDictionaryLanguage(CLanguage()));
    EXPECT_EQ(framework::GetRuntimeDictionary().Size(), 0u);
    EXPECT_TRUE(framework::IsDictionaryLanguageAvailable(CLanguage()));
}

TEST_F(DictionaryLanguage, EnuShowsItsRevisedWording) {
    ASSERT_TRUE(framework::SelectDictionaryLanguage(CLanguage::FromCode(u"ENU")));
    EXPECT_EQ(Translated(u"Discover"), u"Find devices");
    EXPECT_EQ(Translated(u"Assign"), u"Assign");
    EXPECT_EQ(Translated(u""), u"");
}

TEST_F(DictionaryLanguage, SelectionReplacesThePreviousLanguage) {
    ASSERT_TRUE(framework::SelectDictionaryLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_EQ(Translated(u"Scanning: %d seconds"), u"Suche läuft: noch %d Sekunden");
    ASSERT_TRUE(framework::SelectDictionaryLanguage(CLanguage::FromCode(u"ESP")));
    EXPECT_EQ(Translated(u"Scanning: %d seconds"), u"Buscando: %d segundos");
    EXPECT_EQ(framework::GetRuntimeDictionary().Size(), fixture::SampleEntries().size());
}

}  // namespace
