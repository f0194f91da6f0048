// Code pages through the system's own conversions (MultiByteToWideChar, WideCharToMultiByte).
// Code page 0 is Western European here too, as on Linux, so that both builds read the same bytes
// the same way whatever the machine's own ANSI code page is.

#include <windows.h>

#include "platform/code_page.h"

namespace platform {
namespace {

unsigned effectiveCodePage(unsigned codePage) {
    return codePage == 0 ? kActiveAnsiCodePage : codePage;
}

}  // namespace

bool isCodePageSupported(unsigned codePage) {
    return ::IsValidCodePage(effectiveCodePage(codePage)) != 0;
}

std::u16string codePageToUtf16(unsigned codePage, std::string_view bytes) {
    const unsigned page = effectiveCodePage(codePage);
    if (bytes.empty() || !::IsValidCodePage(page))
        return {};
    const int length =
        ::MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0)
        return {};
    std::u16string out(static_cast<size_t>(length), u'\0');
    ::MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()),
                          reinterpret_cast<wchar_t*>(out.data()), length);
    // Callers take the text up to the first zero character.
    const size_t zero = out.find(u'\0');
    if (zero != std::u16string::npos)
        out.resize(zero);
    return out;
}

std::optional<std::string> utf16ToCodePage(unsigned codePage, std::u16string_view text) {
    const unsigned page = effectiveCodePage(codePage);
    if (!::IsValidCodePage(page))
        return std::nullopt;
    if (text.empty())
        return std::string();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int count = static_cast<int>(text.size());
    // UTF-8 takes no best-fit flag; every other page must not substitute look-alikes.
    const DWORD flags = page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int length =
        ::WideCharToMultiByte(page, flags, wide, count, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::nullopt;
    std::string out(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(page, flags, wide, count, out.data(), length, nullptr, nullptr);
    // Only characters that come back unchanged are representable.
    if (codePageToUtf16(codePage, out) != text)
        return std::nullopt;
    return out;
}

}  // namespace platform
