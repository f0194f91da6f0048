#include "framework/archive_primitives.h"

#include <array>
#include <new>

namespace framework {

void StoreU32(IArchive& ar, std::uint32_t value) {
    const std::array<std::uint8_t, 4> bytes = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    ar.Write(bytes.data(), 4);
}

std::uint32_t LoadU32(IArchive& ar) {
    std::array<std::uint8_t, 4> bytes{};
    ar.Read(bytes.data(), 4);
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void StoreString(IArchive& ar, const std::string& text) {
    StoreU32(ar, static_cast<std::uint32_t>(text.size()));
    ar.Write(text.data(), static_cast<std::uint32_t>(text.size()));
}

std::string LoadString(IArchive& ar) {
    const std::uint32_t count = LoadU32(ar);
    RequireRemaining(ar, count, 1);
    std::string text;
    try {
        text.resize(count);
    } catch (const std::bad_alloc&) {
        throw IArchive::EXCEPTION_OUT_OF_MEMORY;
    }
    ar.Read(text.data(), count);
    // The full count is consumed, but the text ends at its first zero byte.
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
    return text;
}

void StoreLanguage(IArchive& ar, const CLanguage& language) {
    std::array<char, 3> code{};
    const std::string_view ascii = language.GetAsciiCode();
    if (ascii.size() == code.size()) {
        std::copy(ascii.begin(), ascii.end(), code.begin());
    }
    ar.Write(code.data(), 3);
}

CLanguage LoadLanguage(IArchive& ar) {
    std::array<char, 3> code{};
    ar.Read(code.data(), 3);
    std::string_view text(code.data(), code.size());
    text = text.substr(0, text.find('\0'));
    return CLanguage::FromAsciiCode(text);
}

void RequireRemaining(const IArchive& ar, std::uint32_t count, std::size_t minimumSize) {
    if (minimumSize != 0 && count > ar.Remaining() / minimumSize) {
        throw IArchive::EXCEPTION_TRUNCATED;
    }
}

}  // namespace framework
