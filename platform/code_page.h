#pragma once

// Windows code pages on our platform, through iconv. Code page numbers are the Windows ones
// (1252, 1250, 1251, ..., 874, 932, 936, 949, 950, 65001 for UTF-8). Stateless; any thread.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The code page used where a caller passes 0 ("the system's active ANSI code page"): Western
// European, as a Windows system in the United States reports it.
inline constexpr unsigned kActiveAnsiCodePage = 1252;

// True when conversions to and from `codePage` are available here.
bool isCodePageSupported(unsigned codePage);

// Bytes in `codePage` to UTF-16, the way the system's multi-byte conversion works with default
// flags: every byte sequence that does not convert becomes U+FFFD and conversion goes on; the
// result is cut at its first zero character. An unsupported code page gives the empty text.
std::u16string codePageToUtf16(unsigned codePage, std::string_view bytes);

// UTF-16 to bytes in `codePage`. nullopt when a character has no exact representation in the
// code page (no best-fit substitutes) or the code page is unsupported.
std::optional<std::string> utf16ToCodePage(unsigned codePage, std::u16string_view text);

}  // namespace platform
