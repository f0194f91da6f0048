#pragma once

// The readable source of the translation dictionary (resources/dictionary.tsv): UTF-8, one row
// per English text, tab-separated. The first row that is not a comment names the columns:
// "KEY", then one three-letter language code per column. Every further row holds the English
// key and one translation per column. Lines beginning with "#" are comments; fields use the
// escapes of platform/string_table_file.h. A row of empty fields is the entry of the empty text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "framework/language.h"

namespace dict {

struct SourceRow {
    std::size_t line = 0;                   // 1-based line number in the source
    std::string key;                        // UTF-8, unescaped
    std::vector<std::string> translations;  // UTF-8, unescaped, one per column
};

struct DictionarySource {
    std::vector<framework::CLanguage> languages;  // the columns, in source order
    std::vector<SourceRow> rows;
};

struct SourceParse {
    DictionarySource source;
    std::vector<std::string> errors;  // "line N: ..."; empty when the source is well formed
};

// Checks the shape only: header, field counts, escapes, known and distinct language codes.
SourceParse parseDictionarySource(std::string_view utf8);

}  // namespace dict
