#include "upnp/keyed_table.h"

namespace upnp {
namespace {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string normalizeKey(std::string_view key, KeyCase keyCase) {
    std::string normal(key);
    if (keyCase == KeyCase::Insensitive) {
        for (char& c : normal)
            c = asciiLower(c);
    }
    return normal;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

}  // namespace upnp
