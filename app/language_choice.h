#pragma once

// The wizard's language from the system's default language: the thirteen languages the wizard
// offers, each matched by its exact primary and sub-language, else by its primary language.
// Any thread.

#include <cstdint>
#include <functional>

#include "sdk/LBString.h"

struct LanguageChoice {
    std::uint16_t primaryLanguage = 9;  // low 10 bits of a LANGID
    std::uint16_t subLanguage = 1;      // high 6 bits
    LBString code = u"enu";             // three-letter code such as "DEU"
};

// Fills `choice` from the first row of the system language table whose primary and
// sub-language both equal those of the system's default language; without one, from the first
// row of the same primary language (Chinese by script: Taiwan, Hong Kong and Macao traditional,
// the others simplified); leaves it as it was when the language is not listed at all. True when
// the code is not empty.
bool ChooseLanguageFromSystem(LanguageChoice& choice);
// The same for a given LANGID.
bool ChooseLanguageFromLangId(LanguageChoice& choice, std::uint16_t langId);

// Where the system's default language comes from (the locale by default); tests install their
// own. An empty function restores the default. Returns the previous source.
using SystemLanguageSource = std::function<std::uint16_t()>;
SystemLanguageSource SetSystemLanguageSource(SystemLanguageSource source);
