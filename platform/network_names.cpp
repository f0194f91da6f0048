#include "platform/network_names.h"

#include <cstdint>
#include <cwctype>

namespace platform {
namespace {

char16_t upper(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
    // Surrogates are left alone; everything else in the BMP folds through the C library.
    if (c >= 0xD800 && c <= 0xDFFF)
        return c;
    // Held in 32 bits: wint_t is 16 bits wide on some systems.
    const uint32_t folded = std::towupper(static_cast<wint_t>(c));
    return folded <= 0xFFFF ? static_cast<char16_t>(folded) : c;
}

}  // namespace

std::optional<char16_t> driveLetterOf(std::u16string_view localName) {
    if (localName.size() == 2 && localName[1] != u':')
        return std::nullopt;
    if (localName.size() != 1 && localName.size() != 2)
        return std::nullopt;
    const char16_t letter = upper(localName[0]);
    if (letter < u'A' || letter > u'Z')
        return std::nullopt;
    return letter;
}

std::optional<UncName> parseUncName(std::u16string_view remoteName) {
    // \\host[\share[\folder...]][\]
    if (remoteName.size() < 3 || remoteName[0] != u'\\' || remoteName[1] != u'\\' ||
        remoteName[2] == u'\\')
        return std::nullopt;
    std::u16string_view rest = remoteName.substr(2);
    if (rest.back() == u'\\')
        rest.remove_suffix(1);
    UncName name;
    const size_t hostEnd = rest.find(u'\\');
    name.host = std::u16string(rest.substr(0, hostEnd));
    if (name.host.empty())
        return std::nullopt;
    if (hostEnd == std::u16string_view::npos)
        return name;
    rest = rest.substr(hostEnd + 1);
    const size_t shareEnd = rest.find(u'\\');
    name.share = std::u16string(rest.substr(0, shareEnd));
    if (name.share.empty())
        return std::nullopt;
    if (shareEnd != std::u16string_view::npos) {
        name.path = std::u16string(rest.substr(shareEnd + 1));
        if (name.path.empty() || name.path.find(u"\\\\") != std::u16string::npos)
            return std::nullopt;
    }
    return name;
}

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i]))
            return false;
    }
    return true;
}

std::u16string toUpper(std::u16string_view text) {
    std::u16string result(text);
    for (char16_t& c : result)
        c = upper(c);
    return result;
}

}  // namespace platform
