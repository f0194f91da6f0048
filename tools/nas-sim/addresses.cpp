#include "tools/nas-sim/addresses.h"

#include <charconv>

namespace nassim {

std::optional<uint32_t> parseIpv4(std::string_view text) {
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.')
                return std::nullopt;
            text.remove_prefix(1);
        }
        size_t digits = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 3)
            return std::nullopt;
        unsigned value = 0;
        std::from_chars(text.data(), text.data() + digits, value);
        if (value > 255)
            return std::nullopt;
        address = (address << 8) | value;
        text.remove_prefix(digits);
    }
    if (!text.empty())
        return std::nullopt;
    return address;
}

std::string formatIpv4(uint32_t address) {
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

bool isLoopbackHost(uint32_t address) {
    return (address >> 24) == 127 && address != 0x7F000000u && address != 0x7FFFFFFFu;
}

std::optional<uint32_t> loopbackAddressAfter(uint32_t base, uint32_t offset) {
    if (!isLoopbackHost(base) || offset > 0x00FFFFFFu)
        return std::nullopt;
    const uint64_t address = uint64_t{base} + offset;
    if (address > 0xFFFFFFFFu || !isLoopbackHost(static_cast<uint32_t>(address)))
        return std::nullopt;
    return static_cast<uint32_t>(address);
}

}  // namespace nassim
