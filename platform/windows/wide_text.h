#pragma once

// Our UTF-16 texts as the wide strings of the Windows API, whose wchar_t is 16 bits as well.

#include <string>

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// For the API's structures that take a writable text: null for an empty one.
inline wchar_t* mutableWideOrNull(std::u16string& text) {
    return text.empty() ? nullptr : reinterpret_cast<wchar_t*>(text.data());
}

inline std::u16string fromWide(const wchar_t* text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

}  // namespace platform
