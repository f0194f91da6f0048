#pragma once

// A program module for the localization tests: a string table and the sample dictionary as
// resource 148, installed as the executable's resources for the life of the fixture. The
// process-wide strategy and runtime dictionary are reset afterwards; the merged dictionary is
// never emptied (by design), so every test of an executable loads the same sample.

#include <gtest/gtest.h>

#include "dictionary_fixture.h"
#include "framework/dictionary_language.h"
#include "framework/localization.h"
#include "platform/resources.h"

namespace fixture {

inline platform::ResourceModule ProgramModule() {
    return platform::ResourceModule({{"DICTIONARY", 148, Bytes(Dictionary(SampleEntries()))}},
                                    {{148, u"Discover"},
                                     {149, u"Scanning: %d seconds"},
                                     {167, u"&Assign"},
                                     {170, u"Not a key"},
                                     {171, u""}});
}

class LocalizationTest : public testing::Test {
  protected:
    LocalizationTest() { savedExecutable_ = platform::installExecutableResources(&module_); }
    ~LocalizationTest() override {
        framework::ReleaseLocalization();
        (void)framework::SelectDictionaryLanguage(framework::CLanguage());
        platform::installExecutableResources(savedExecutable_);
    }

    // Installs the dictionary strategy with the resource id set and `code` selected.
    void UseDictionaryLanguage(const char16_t* code) {
        ASSERT_TRUE(framework::SetLocalizationType(framework::kLocalizationDictionary));
        framework::GetLocalization()->SetResourceId(148);
        ASSERT_TRUE(
            framework::GetLocalization()->SetLanguage(framework::CLanguage::FromCode(code)));
    }

    static std::u16string Load(std::uint32_t id) {
        std::u16string text;
        EXPECT_TRUE(framework::LoadLocalizedString(text, id)) << id;
        return text;
    }

    platform::ResourceModule module_ = ProgramModule();

  private:
    const platform::ResourceModule* savedExecutable_ = nullptr;
};

}  // namespace fixture
