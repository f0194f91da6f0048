#include "framework/localization.h"

#include <gtest/gtest.h>

#include "framework/dictionary_localization.h"
#include "framework/non_localized.h"
#include "framework/resource_file_localization.h"
#include "localization_fixture.h"

namespace {

using framework::CLanguage;

class Localization : public fixture::LocalizationTest {};

TEST_F(Localization, TypeNumbersInstallTheirStrategies) {
    EXPECT_TRUE(framework::SetLocalizationType(0));
    EXPECT_NE(dynamic_cast<framework::CNonLocalized*>(framework::GetLocalization()), nullptr);
    EXPECT_TRUE(framework::SetLocalizationType(1));
    EXPECT_NE(dynamic_cast<framework::CResourceFileLocalization*>(framework::GetLocalization()),
              nullptr);
    EXPECT_EQ(framework::GetLocalizationType(), 1);
    EXPECT_TRUE(framework::SetLocalizationType(2));
    EXPECT_NE(dynamic_cast<framework::CDictionaryLocalization*>(framework::GetLocalization()),
              nullptr);
    EXPECT_EQ(framework::GetLocalizationType(), 2);
}

TEST_F(Localization, UnknownTypeInstallsNoLocalizationAndKeepsTheRecordedType) {
    ASSERT_TRUE(framework::SetLocalizationType(2));
    EXPECT_FALSE(framework::SetLocalizationType(5));
    EXPECT_NE(dynamic_cast<framework::CNonLocalized*>(framework::GetLocalization()), nullptr);
    EXPECT_EQ(framework::GetLocalizationType(), 2);
}

TEST_F(Localization, NewStrategyStartsNeutralWithResourceIdZero) {
    ASSERT_TRUE(framework::SetLocalizationType(2));
    EXPECT_TRUE(framework::GetLocalization()->GetLanguage().IsNeutral());
    EXPECT_EQ(framework::GetLocalization()->GetResourceId(), 0);
    framework::GetLocalization()->SetLanguage(CLanguage::FromCode(u"DEU"));
    EXPECT_TRUE(framework::GetLocalization()->GetLanguage().IsNeutral());  // not recorded
}

TEST_F(Localization, NonLocalizedAcceptsOnlyNeutral) {
    framework::CNonLocalized strategy;
    EXPECT_TRUE(strategy.SetLanguage(CLanguage()));
    EXPECT_TRUE(strategy.IsLanguageAvailable(CLanguage()));
    EXPECT_FALSE(strategy.SetLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_FALSE(strategy.IsLanguageAvailable(CLanguage::FromCode(u"ENU")));
}

TEST_F(Localization, SetLanguageBeforeTheResourceIdFailsAndLaterSucceeds) {
    ASSERT_TRUE(framework::SetLocalizationType(2));
    auto* strategy = framework::GetLocalization();
    EXPECT_FALSE(strategy->SetLanguage(CLanguage::FromCode(u"DEU")));  // looks for resource 0
    EXPECT_FALSE(strategy->IsLanguageAvailable(CLanguage::FromCode(u"DEU")));
    strategy->SetResourceId(148);
    EXPECT_TRUE(strategy->IsLanguageAvailable(CLanguage::FromCode(u"DEU")));
    EXPECT_TRUE(strategy->SetLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_EQ(Load(148), u"Suchen");
}

TEST_F(Localization, MalformedDictionaryLeavesTheTextsEnglishAndIsTriedAgain) {
    const platform::ResourceModule broken({{"Dictionary", 148, {32, 0, 0, 0, 'G'}}},
                                          {{148, u"Discover"}});
    const auto* previous = platform::installExecutableResources(&broken);
    ASSERT_TRUE(framework::SetLocalizationType(2));
    auto* strategy = framework::GetLocalization();
    strategy->SetResourceId(148);
    EXPECT_FALSE(strategy->SetLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_EQ(Load(148), u"Discover");
    EXPECT_FALSE(dynamic_cast<framework::CDictionaryLocalization*>(strategy)->IsLoaded());

    platform::installExecutableResources(previous);
    EXPECT_TRUE(strategy->SetLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_EQ(Load(148), u"Suchen");
}

TEST_F(Localization, GermanForAKeyAndTheTextUnchangedOtherwise) {
    UseDictionaryLanguage(u"DEU");
    EXPECT_EQ(Load(148), u"Suchen");
    EXPECT_EQ(Load(149), u"Suche läuft: noch %d Sekunden");
    EXPECT_EQ(Load(167), u"Zuweisen");  // "&Assign" found under "Assign"
    EXPECT_EQ(Load(170), u"Not a key");
    EXPECT_EQ(Load(171), u"");
}

TEST_F(Localization, ChineseThenNeutralGivesEnglishAgain) {
    UseDictionaryLanguage(u"CHS");
    EXPECT_EQ(Load(148), u"发现");
    ASSERT_TRUE(framework::GetLocalization()->SetLanguage(CLanguage()));
    EXPECT_EQ(Load(148), u"Discover");
}

TEST_F(Localization, UnknownOrMissingLanguageFailsWithEnglishTexts) {
    UseDictionaryLanguage(u"DEU");
    auto* strategy = framework::GetLocalization();
    EXPECT_FALSE(strategy->SetLanguage(CLanguage::FromCode(u"XYZ")));
    EXPECT_EQ(Load(148), u"Discover");
    ASSERT_TRUE(strategy->SetLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_FALSE(strategy->SetLanguage(CLanguage::FromCode(u"SVE")));
    EXPECT_EQ(Load(148), u"Discover");
    EXPECT_FALSE(strategy->IsLanguageAvailable(CLanguage::FromCode(u"SVE")));
    EXPECT_TRUE(strategy->IsLanguageAvailable(CLanguage::FromCode(u"ESN")));
}

TEST_F(Localization, MissingIdReturnsFalseAndLeavesTheStringAlone) {
    UseDictionaryLanguage(u"DEU");
    std::u16string text = u"unchanged";
    EXPECT_FALSE(framework::LoadLocalizedString(text, 4242));
    EXPECT_EQ(text, u"unchanged");
}

TEST_F(Localization, WithoutAStrategyTheTextLoadsButTheResultIsFalse) {
    UseDictionaryLanguage(u"DEU");
    framework::ReleaseLocalization();
    EXPECT_EQ(framework::GetLocalization(), nullptr);
    std::u16string text;
    EXPECT_FALSE(framework::LoadLocalizedString(text, 148));
    EXPECT_EQ(text, u"Discover");
}

TEST_F(Localization, NoLocalizationNeverTranslates) {
    UseDictionaryLanguage(u"DEU");  // the runtime dictionary now holds German
    ASSERT_TRUE(framework::SetLocalizationType(0));
    EXPECT_EQ(Load(148), u"Discover");
}

}  // namespace
