#pragma once

// Binding a socket handle to a local IPv4 port, shared by the listening and datagram sockets.
// Safe from any thread; the handle stays owned by the caller and is never closed here.

#include <cstdint>

namespace upnp {

// Binds `handle` to `address`:`port` (network byte order address, host order port).
bool bindPort(int handle, uint32_t address, uint16_t port);

// Binds `handle` to a random port with lowest <= port < highest, giving up after
// kRandomPortTries or at the first error other than a port in use (an address that is not
// local would fail the same way on every port). On success `port` holds the bound port.
bool bindRandomPort(int handle, uint32_t address, uint16_t lowest, uint16_t highest,
                    uint16_t& port);

}  // namespace upnp
