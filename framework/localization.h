#pragma once

// The localization strategy: how the application's texts are translated into the language made
// current at start-up. One strategy object is installed process-wide by SetLocalizationType
// (the application object does it when it is constructed); texts are then translated at two
// points only: LoadLocalizedString (string resources) and TranslatePrompt (message boxes).
//
// Threads: everything here belongs to the user-interface thread; nothing is locked.

#include <cstdint>
#include <memory>
#include <string>

#include "framework/language.h"

namespace framework {

class CTkxUserInterfaceLocalization {
  public:
    virtual ~CTkxUserInterfaceLocalization() = default;
    // True when `language` is now current.
    virtual bool SetLanguage(const CLanguage& language) = 0;
    // True when SetLanguage(language) would succeed.
    virtual bool IsLanguageAvailable(const CLanguage& language) = 0;

    // The language the application base last recorded (not written by SetLanguage).
    const CLanguage& GetLanguage() const { return m_language; }
    void RecordLanguage(const CLanguage& language) { m_language = language; }

    // Identifier of the merged dictionary resource (148 in this application).
    void SetResourceId(std::int32_t id) { m_nResourceId = id; }
    std::int32_t GetResourceId() const { return m_nResourceId; }

  private:
    CLanguage m_language;
    std::int32_t m_nResourceId = 0;
};

// Type numbers of the strategies.
inline constexpr std::int32_t kLocalizationNone = 0;          // CNonLocalized
inline constexpr std::int32_t kLocalizationResourceFile = 1;  // CResourceFileLocalization
inline constexpr std::int32_t kLocalizationDictionary = 2;    // CDictionaryLocalization

// Replaces the current strategy by a new one of type `type` (0, 1, 2). Any other number installs
// a CNonLocalized, returns false and keeps the recorded type.
bool SetLocalizationType(std::int32_t type);
// The type of the last successful SetLocalizationType (0 at start).
std::int32_t GetLocalizationType();
// The current strategy (owned by the framework), or null.
CTkxUserInterfaceLocalization* GetLocalization();
// Deletes the current strategy.
void ReleaseLocalization();

// Loads string resource `id` (current resource module first, then the executable's) into
// `text`, translated through the runtime dictionary under the dictionary strategy. False, with
// `text` unchanged, when no module holds the id; false with the untranslated text when no
// strategy is installed.
bool LoadLocalizedString(std::u16string& text, std::uint32_t id);

}  // namespace framework
