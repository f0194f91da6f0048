#pragma once

// The text form of the per-user store file and of the credential file. One record per line:
//   drivescout-user-store 1          first line
//   key <path>                       starts a key; values below belong to it
//   number <name> <decimal>          32-bit number value
//   text <name> <text>               text value
// Fields are separated by one space; in paths, names and texts the bytes '%', space and control
// characters are written as %XX. Texts are UTF-8. Pure functions; any thread.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct StoredValue {
    std::u16string name;
    bool isNumber = false;
    uint32_t number = 0;
    std::u16string text;
};

struct StoredKey {
    std::u16string path;  // as first written
    std::vector<StoredValue> values;
};

// Keys by their upper-case path.
using StoreContents = std::map<std::u16string, StoredKey>;

struct ParsedStore {
    StoreContents contents;
    bool damaged = false;
    size_t damagedLine = 0;  // 1-based line of the first fault
};

// Never fails: a fault marks the result damaged, with empty contents.
ParsedStore parseStoreFile(std::string_view text);
std::string formatStoreFile(const StoreContents& contents);

// Upper-case form of a key path without leading and trailing backslashes; nothing when a
// component is empty ("a\\b").
std::optional<std::u16string> normalizeKeyPath(std::u16string_view path);

StoredValue* findValue(StoredKey& key, std::u16string_view name);
const StoredValue* findValue(const StoredKey& key, std::u16string_view name);

}  // namespace platform
