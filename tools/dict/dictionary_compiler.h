#pragma once

// Turns the dictionary source into the binary merged dictionary, refusing content that would
// show wrongly: every translation must keep the printf placeholders and double quotes of its key
// in the same order, fit its language's ANSI code page exactly, and be present for every
// language (the entry of the empty text translates to the empty text everywhere).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/language.h"
#include "framework/merged_dictionary.h"
#include "tools/dict/dictionary_source.h"

namespace dict {

// The placeholders ("%d", "%s", "%%", ...) and double quotes of a text, in order.
std::vector<std::string> formatTokens(std::string_view text);

// Problems of one translation of `key` into `language`; empty when it is fine.
std::vector<std::string> checkTranslation(std::string_view key, std::string_view translation,
                                          const framework::CLanguage& language);

struct CompileResult {
    framework::CMergedLocalizationDictionary dictionary;
    std::vector<std::string> errors;  // "line N: ..."; the dictionary is not to be used if any
};

// `requiredKeys` (UTF-8) are texts that must be keys of the dictionary, as they are or without
// their "&", e.g. the string table.
CompileResult compileDictionary(const DictionarySource& source,
                                const std::vector<std::string>& requiredKeys = {});

// The binary form of a dictionary.
std::vector<std::uint8_t> serializeDictionary(framework::CMergedLocalizationDictionary& dictionary);

}  // namespace dict
