#pragma once

// Readable forms of a binary dictionary, as UTF-8 text with the source's escapes.

#include <string>

#include "framework/language.h"
#include "framework/merged_dictionary.h"

namespace dict {

// The source format (dictionary_source.h): a header naming every language found, in ascending
// code order, then one row per entry in key order. A translation an entry lacks is empty.
std::string dumpDictionary(const framework::CMergedLocalizationDictionary& dictionary);

// "<key><TAB><translation>" for every entry translated into `language`, in key order.
std::string dumpLanguage(const framework::CMergedLocalizationDictionary& dictionary,
                         const framework::CLanguage& language);

}  // namespace dict
