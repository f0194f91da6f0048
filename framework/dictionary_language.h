#pragma once

// The two process-wide dictionaries and the language choice over them. User-interface thread
// only; nothing here is locked.

#include "framework/language.h"

namespace framework {

class CMergedLocalizationDictionary;
class CLocalizationDictionary;

// Constructed empty on first use, destroyed at exit. The merged dictionary is filled by the
// first successful LoadMergedDictionary and never emptied.
CMergedLocalizationDictionary& GetMergedDictionary();
// Holds the translations of the selected language only.
CLocalizationDictionary& GetRuntimeDictionary();

// Neutral empties the runtime dictionary and succeeds. ESN is served by the ESP column.
// Otherwise the runtime dictionary is refilled with that language (emptied when the dictionary
// does not carry it) and the result says whether it carries it.
bool SelectDictionaryLanguage(const CLanguage& language);

// Neutral: true; ESN as ESP; not a row: false; else whether the merged dictionary carries it.
bool IsDictionaryLanguageAvailable(const CLanguage& language);

}  // namespace framework
