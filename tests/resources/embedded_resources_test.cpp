// The program's compiled-in resources as the build made them from resources/strings.tsv and
// resources/dictionary.tsv: the exact English texts of the string table, and translations of
// every one of them into each of the twelve languages.

#include <gtest/gtest.h>

#include <string>

#include "framework/dictionary_language.h"
#include "framework/language.h"
#include "framework/localization.h"
#include "framework/localization_dictionary.h"
#include "framework/merged_dictionary.h"
#include "resources/drivescout_resources.h"
#include "resources/string_ids.h"

namespace {

using framework::CLanguage;

struct StringCase {
    std::uint32_t id;
    std::u16string text;
};

// The wizard's texts, exactly as the program must show them in English.
const StringCase kWizardStrings[] = {
    {resources::IDS_DISCOVER, u"Discover"},
    {resources::IDS_SCANNING_SECONDS, u"Scanning: %d seconds"},
    {resources::IDS_NO_DRIVE_FOUND, u"No network drive found"},
    {resources::IDS_FIREWALL_HINT, u"Firewalls may prevent you from detecting Homevault."},
    {resources::IDS_SEARCH_AGAIN, u"Search again"},
    {resources::IDS_FOUND_ONE_DRIVE, u"Found 1 network drive."},
    {resources::IDS_FOUND_DRIVES, u"%d network drive(s) found. Select a drive. "},
    {resources::IDS_HEARTHLINK, u"Hearthlink"},
    {resources::IDS_MULTIPLE_USERS,
     u"The Drive Scout has detected multiple users and assigned drives for this network drive."},
    {resources::IDS_SELECT_USER, u"Select a user and sign in."},
    {resources::IDS_WRONG_PASSWORD, u"Wrong Password"},
    {resources::IDS_LOGGED_IN_AS, u"You are logged in as \"%s\""},
    {resources::IDS_DRIVES_ASSIGNED, u"Computer drive(s) assigned to your network drive folders:"},
    {resources::IDS_CLICK_DONE, u"Click \"Done\" to close the Drive Scout and launch %s."},
    {resources::IDS_NOT_LOGGED_IN,
     u"Because you are not logged in to this drive, only public drive folder can be assigned."},
    {resources::IDS_SIGN_IN, u"Sign in"},
    {resources::IDS_ASSIGN, u"Assign"},
    {resources::IDS_DONE, u"Done"},
    {resources::IDS_SKIP, u"Skip"},
    {resources::IDS_SELECT_DIFFERENT_DRIVE, u"Select a different drive"},
    {resources::IDS_CONGRATULATIONS,
     u"Congratulations! You've assigned drive(s) to your network drive."},
    {resources::IDS_USERNAME, u"Username"},
    {resources::IDS_PASSWORD, u"Password"},
    {resources::IDS_SIGN_IN_PRIVATE_HINT,
     u"If you don't sign in, the Drive Scout cannot assign a Private folder to a drive on your "
     u"computer."},
    {resources::IDS_CHECK_POWER_AND_NETWORK,
     u"Make sure that Homevault has power, check the network connection between your computer "
     u"and Homevault, and then try to search for the device again."},
    {resources::IDS_SIGN_OUT_OTHER_USER,
     u"This NAS is already assigned to a computer drive of another user. To continue, the current "
     u"user must sign out to allow a new user to sign in. When the current user signs out, any "
     u"actions in progress on the user's folders will stop and be canceled. Do you want to "
     u"continue?"},
    {resources::IDS_SIGN_OUT_FAILED,
     u"Sorry, we were unable to sign out of the previous user's account and sign in to the new "
     u"account user. Please reboot and try again."},
    {resources::IDS_BUTTON_OK, u"OK"},
    {resources::IDS_BUTTON_YES, u"&Yes"},
    {resources::IDS_BUTTON_NO, u"&No"},
};

const char16_t* const kShippedLanguages[] = {u"CHS", u"CHT", u"DEU", u"ENU", u"ESP", u"FRA",
                                             u"ITA", u"JPN", u"KOR", u"NLD", u"PTB", u"RUS"};

class EmbeddedResources : public testing::Test {
  protected:
    EmbeddedResources() {
        saved_ = platform::installExecutableResources(&resources::driveScoutResources());
    }
    ~EmbeddedResources() override {
        framework::ReleaseLocalization();
        (void)framework::SelectDictionaryLanguage(CLanguage());
        platform::installExecutableResources(saved_);
    }

    void Select(const char16_t* code) {
        ASSERT_TRUE(framework::SetLocalizationType(framework::kLocalizationDictionary));
        framework::GetLocalization()->SetResourceId(resources::IDR_DICTIONARY);
        ASSERT_TRUE(framework::GetLocalization()->SetLanguage(CLanguage::FromCode(code)));
    }
    static std::u16string Load(std::uint32_t id) {
        std::u16string text;
        EXPECT_TRUE(framework::LoadLocalizedString(text, id)) << id;
        return text;
    }

  private:
    const platform::ResourceModule* saved_ = nullptr;
};

TEST_F(EmbeddedResources, StringTableHoldsTheExactEnglishTexts) {
    const auto& module = resources::driveScoutResources();
    for (const StringCase& c : kWizardStrings) {
        EXPECT_EQ(module.findString(c.id), c.text) << c.id;
    }
}

TEST_F(EmbeddedResources, DictionaryIsResource148AndLoads) {
    const auto bytes = resources::driveScoutResources().findResource("Dictionary", 148);
    ASSERT_TRUE(bytes.has_value());
    framework::CMergedLocalizationDictionary dictionary;
    ASSERT_TRUE(framework::ReadMergedDictionary(dictionary, *bytes));
    // The first entry is the empty text, translated to the empty text in all twelve languages.
    const auto& [firstKey, firstTranslations] = *dictionary.Entries().begin();
    EXPECT_EQ(firstKey, "");
    EXPECT_EQ(firstTranslations.size(), 12u);
    for (const auto& [language, text] : firstTranslations) {
        EXPECT_EQ(text, "");
    }
}

TEST_F(EmbeddedResources, EveryTextIsTranslatedIntoEveryLanguage) {
    for (std::size_t language = 0; language < std::size(kShippedLanguages); ++language) {
        SCOPED_TRACE(testing::Message() << "language column " << language);
        Select(kShippedLanguages[language]);
        for (const StringCase& c : kWizardStrings) {
            std::u16string translation;
            EXPECT_TRUE(framework::GetRuntimeDictionary().Translate(c.text, translation)) << c.id;
            EXPECT_FALSE(translation.empty()) << c.id;
            EXPECT_EQ(translation.find(u'\uFFFD'), std::u16string::npos) << c.id;
        }
    }
}

struct SampleCase {
    const char16_t* code;
    std::uint32_t id;
    std::u16string expected;
};

class EmbeddedTranslations : public EmbeddedResources,
                             public testing::WithParamInterface<SampleCase> {};

TEST_P(EmbeddedTranslations, LoadLocalizedStringGivesTheLanguage) {
    Select(GetParam().code);
    EXPECT_EQ(Load(GetParam().id), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EmbeddedTranslations,
    testing::Values(SampleCase{u"DEU", resources::IDS_SEARCH_AGAIN, u"Erneut suchen"},
                    SampleCase{u"DEU", resources::IDS_BUTTON_YES, u"Ja"},
                    SampleCase{u"CHS", resources::IDS_DISCOVER, u"发现"},
                    SampleCase{u"CHT", resources::IDS_SEARCH_AGAIN, u"重新搜尋"},
                    SampleCase{u"JPN", resources::IDS_SCANNING_SECONDS, u"スキャン中：残り %d 秒"},
                    SampleCase{u"KOR", resources::IDS_SIGN_IN, u"로그인"},
                    SampleCase{u"RUS", resources::IDS_PASSWORD, u"Пароль"},
                    SampleCase{u"ESN", resources::IDS_SKIP, u"Omitir"},  // served by ESP
                    SampleCase{u"FRA", resources::IDS_CLICK_DONE,
                               u"Cliquez sur \"Terminer\" pour fermer Drive Scout et lancer %s."},
                    SampleCase{u"ENU", resources::IDS_WRONG_PASSWORD, u"Wrong password"},
                    SampleCase{u"ENU", resources::IDS_DONE, u"Done"}));

TEST_F(EmbeddedResources, SystemLanguagesWithoutAColumnFallBackToEnglish) {
    // German (Austria) and modern-sort Spanish have no row of the wizard's language choice; it
    // then asks for "enu".
    Select(u"enu");
    EXPECT_EQ(Load(resources::IDS_USERNAME), u"User name");
    ASSERT_TRUE(framework::SetLocalizationType(framework::kLocalizationDictionary));
    framework::GetLocalization()->SetResourceId(resources::IDR_DICTIONARY);
    EXPECT_FALSE(framework::GetLocalization()->SetLanguage(CLanguage::FromCode(u"SVE")));
    EXPECT_EQ(Load(resources::IDS_USERNAME), u"Username");
}

}  // namespace
