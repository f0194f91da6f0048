#pragma once

// The system's default language as a Windows language identifier (LANGID: primary language in
// the low 10 bits, sublanguage in the high 6 bits), derived from the POSIX locale the way
// Windows would report it for the same language and region. Any thread.

#include <cstdint>
#include <string_view>

namespace platform {

inline constexpr std::uint16_t kLangIdEnglishUnitedStates = 0x0409;

// A locale name such as "de_AT.UTF-8", "zh_TW", "sr_RS@latin", "fr" to a LANGID. The encoding
// and modifier are ignored. A language without its region gives the language's usual default
// region; "C", "POSIX", empty and unknown names give 0x0409.
std::uint16_t langIdFromLocaleName(std::string_view localeName);

// The first non-empty of the three variables decides, as POSIX does for messages.
std::uint16_t systemDefaultLangId(std::string_view lcAll, std::string_view lcMessages,
                                  std::string_view lang);

// Reads LC_ALL, LC_MESSAGES and LANG from the environment.
std::uint16_t systemDefaultLangId();

}  // namespace platform
