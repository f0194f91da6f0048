#pragma once

// IPv4 addresses as the simulator uses them: host byte order, and the one rule that keeps every
// packet it sends on this machine (loopback addresses only, plus the SSDP group through lo).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nassim {

inline constexpr uint32_t kSsdpGroup = 0xEFFFFFFAu;  // 239.255.255.250
inline constexpr uint16_t kSsdpPort = 1900;

// Dotted quad "a.b.c.d", each part 0..255 in decimal; nothing else is accepted.
std::optional<uint32_t> parseIpv4(std::string_view text);
std::string formatIpv4(uint32_t address);

// True for the usable addresses of 127.0.0.0/8 (not the network or broadcast address).
bool isLoopbackHost(uint32_t address);

// The address `offset` places after `base`, or nothing when that leaves the loopback hosts.
std::optional<uint32_t> loopbackAddressAfter(uint32_t base, uint32_t offset);

}  // namespace nassim
