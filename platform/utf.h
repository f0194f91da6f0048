#pragma once

// UTF-8 ⇄ UTF-16 conversions. On our platform the "ANSI code page" of narrow system text is the
// locale's narrow encoding, UTF-8. Invalid input never fails: each bad byte (or unpaired
// surrogate) becomes U+FFFD.

#include <string>
#include <string_view>

namespace platform {

std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace platform
