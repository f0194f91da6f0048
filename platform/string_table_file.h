#pragma once

// The text form of a string table: UTF-8, one entry per line, "<id><TAB><text>". Lines that are
// empty or begin with "#" are comments. An optional line "version<TAB>a.b.c.d" names the
// program version the table belongs to (satellite files carry one). Inside a text a backslash
// escapes: \\ \t \n \r \" ; any other escape is an error. Stateless; any thread.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct StringTableFile {
    std::map<std::uint32_t, std::u16string> strings;
    std::string version;  // empty when the file has no version line
};

struct StringTableParse {
    std::optional<StringTableFile> table;  // nullopt on error
    std::string error;                     // "line 7: ..." when table is nullopt
};

// Rejects malformed lines, ids that are not decimal 32-bit numbers, duplicate ids and escapes
// it does not know. Invalid UTF-8 becomes U+FFFD.
StringTableParse parseStringTableFile(std::string_view utf8);

// Undoes the escapes of one field; nullopt for a lone or unknown escape.
std::optional<std::string> unescapeField(std::string_view field);
// The inverse: escapes backslash, tab, CR and LF.
std::string escapeField(std::string_view text);

}  // namespace platform
