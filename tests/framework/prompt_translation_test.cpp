#include "framework/prompt_translation.h"

#include <gtest/gtest.h>

#include "localization_fixture.h"

namespace {

class PromptTranslation : public fixture::LocalizationTest {};

TEST_F(PromptTranslation, GermanPromptsForKeysAndTheirMnemonicForms) {
    UseDictionaryLanguage(u"DEU");
    EXPECT_EQ(framework::TranslatePrompt(u"Discover"), u"Suchen");
    EXPECT_EQ(framework::TranslatePrompt(u"&Assign"), u"Zuweisen");
    EXPECT_EQ(framework::TranslatePrompt(u"Not a key"), u"Not a key");
}

TEST_F(PromptTranslation, WithoutALanguagePromptsStayAsPassed) {
    UseDictionaryLanguage(u"DEU");
    ASSERT_TRUE(framework::GetLocalization()->SetLanguage(framework::CLanguage()));
    EXPECT_EQ(framework::TranslatePrompt(u"Discover"), u"Discover");
    EXPECT_FALSE(framework::GetLocalization()->SetLanguage(framework::CLanguage::FromCode(u"SVE")));
    EXPECT_EQ(framework::TranslatePrompt(u"&Assign"), u"&Assign");
}

TEST_F(PromptTranslation, DoesNotDependOnTheLocalizationType) {
    UseDictionaryLanguage(u"ESP");
    ASSERT_TRUE(framework::SetLocalizationType(0));
    EXPECT_EQ(framework::TranslatePrompt(u"OK"), u"Aceptar");
}

}  // namespace
