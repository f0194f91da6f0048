#include "framework/localization_dictionary.h"

#include <gtest/gtest.h>

namespace {

using framework::CLocalizationDictionary;

struct TranslateCase {
    const char* name;
    std::u16string text;
    bool found;
    std::u16string out;
};

class Translate : public testing::TestWithParam<TranslateCase> {
  protected:
    Translate() {
        dictionary_.Insert(u"", u"");
        dictionary_.Insert(u"Assign", u"Zuweisen");
        dictionary_.Insert(u"&Close", u"&Schließen");
        dictionary_.Insert(u"OK", u"OK!");
        dictionary_.Insert(u"Save && exit", u"Speichern");
    }
    CLocalizationDictionary dictionary_;
};

TEST_P(Translate, FindsExactThenWithoutAmpersands) {
    const TranslateCase& c = GetParam();
    std::u16string out = u"previous";
    EXPECT_EQ(dictionary_.Translate(c.text, out), c.found);
    EXPECT_EQ(out, c.found ? c.out : u"previous");
}

INSTANTIATE_TEST_SUITE_P(
    Table, Translate,
    testing::Values(TranslateCase{"Exact", u"Assign", true, u"Zuweisen"},
                    TranslateCase{"MnemonicFindsThePlainKey", u"&Assign", true, u"Zuweisen"},
                    TranslateCase{"EveryAmpersandGoes", u"&As&&sign&", true, u"Zuweisen"},
                    TranslateCase{"PlainNeverFindsTheMnemonicKey", u"Close", false, u""},
                    TranslateCase{"MnemonicKeyExact", u"&Close", true, u"&Schließen"},
                    TranslateCase{"EmptyKey", u"", true, u""},
                    TranslateCase{"CaseMatters", u"ok", false, u""},
                    TranslateCase{"DoubledAmpersandKeyIsOnlyFoundExactly", u"Save & exit", false,
                                  u""},
                    TranslateCase{"Missing", u"Unknown", false, u""}),
    [](const testing::TestParamInfo<TranslateCase>& info) { return info.param.name; });

TEST(LocalizationDictionary, FirstOfEqualKeysStays) {
    CLocalizationDictionary dictionary;
    EXPECT_TRUE(dictionary.Insert(u"A", u"first"));
    EXPECT_FALSE(dictionary.Insert(u"A", u"second"));
    std::u16string out;
    ASSERT_TRUE(dictionary.Translate(u"A", out));
    EXPECT_EQ(out, u"first");
    dictionary.Clear();
    EXPECT_FALSE(dictionary.Translate(u"A", out));
}

}  // namespace
