#pragma once

// The simulator's sockets. Every datagram leaves through sendDatagram, which refuses any
// destination but a loopback host or the SSDP group; multicast goes out through lo only.

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/nas-sim/unique_fd.h"

namespace nassim {

// UDP socket on 239.255.255.250:1900, shared with other listeners on this host (SO_REUSEADDR,
// SO_REUSEPORT), member of the SSDP group on the loopback interface. Non-blocking.
UniqueFd openSsdpListener(std::string& error);

// UDP socket bound to `address` (any port) whose multicast leaves through lo, so answers and
// announcements carry the device's own address as their source. Non-blocking.
UniqueFd openDeviceUdpSocket(uint32_t address, std::string& error);

// Listening TCP socket on address:port. Non-blocking.
UniqueFd openHttpListener(uint32_t address, uint16_t port, std::string& error);

// Sends one datagram to a loopback host or to the SSDP group; false when refused or not sent.
bool sendDatagram(int fd, uint32_t address, uint16_t port, std::string_view bytes);

bool setNonBlocking(int fd);

// Raises the open-file limit to at least `wanted` if the hard limit allows; false otherwise.
bool ensureFileLimit(size_t wanted);

}  // namespace nassim
