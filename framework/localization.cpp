#include "framework/localization.h"

#include "framework/dictionary_language.h"
#include "framework/dictionary_localization.h"
#include "framework/localization_dictionary.h"
#include "framework/non_localized.h"
#include "framework/resource_file_localization.h"
#include "platform/resources.h"

namespace framework {
namespace {

std::unique_ptr<CTkxUserInterfaceLocalization>& CurrentLocalization() {
    static std::unique_ptr<CTkxUserInterfaceLocalization> current;
    return current;
}

std::int32_t g_localizationType = kLocalizationNone;

}  // namespace

bool SetLocalizationType(std::int32_t type) {
    std::unique_ptr<CTkxUserInterfaceLocalization> created;
    bool known = true;
    switch (type) {
        case kLocalizationNone:
            created = std::make_unique<CNonLocalized>();
            break;
        case kLocalizationResourceFile:
            created = std::make_unique<CResourceFileLocalization>();
            break;
        case kLocalizationDictionary:
            created = std::make_unique<CDictionaryLocalization>();
            break;
        default:
            created = std::make_unique<CNonLocalized>();
            known = false;
            break;
    }
    // The old object goes first: a satellite strategy hands the resource module back when it
    // is destroyed.
    CurrentLocalization().reset();
    CurrentLocalization() = std::move(created);
    if (known) {
        g_localizationType = type;
    }
    return known;
}

std::int32_t GetLocalizationType() {
    return g_localizationType;
}

CTkxUserInterfaceLocalization* GetLocalization() {
    return CurrentLocalization().get();
}

void ReleaseLocalization() {
    CurrentLocalization().reset();
}

bool LoadLocalizedString(std::u16string& text, std::uint32_t id) {
    std::optional<std::u16string> loaded = platform::loadResourceString(id);
    if (!loaded) {
        return false;
    }
    text = std::move(*loaded);
    if (GetLocalization() == nullptr) {
        return false;
    }
    switch (g_localizationType) {
        case kLocalizationNone:
        case kLocalizationResourceFile:
            return true;
        case kLocalizationDictionary: {
            std::u16string translation;
            if (GetRuntimeDictionary().Translate(text, translation)) {
                text = std::move(translation);
            }
            return true;
        }
        default:
            return false;
    }
}

}  // namespace framework
