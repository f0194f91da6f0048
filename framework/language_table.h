#pragma once

// The framework's table of the 73 languages it knows. The row index is the value of a
// CLanguage. Constant data; any thread.

#include <cstdint>
#include <span>
#include <string_view>

namespace framework {

struct LanguageRow {
    std::string_view code;  // three upper-case letters, Windows' abbreviated language name
    std::uint16_t langId;   // Windows language identifier
    std::string_view culture;
    unsigned ansiCodePage;  // Windows' default ANSI code page of the language
};

std::span<const LanguageRow> LanguageTable();

}  // namespace framework
