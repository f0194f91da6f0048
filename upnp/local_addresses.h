#pragma once

// The host's IPv4 addresses, for sending a search on every interface.

#include <cstdint>
#include <string>
#include <vector>

namespace upnp {

// One IPv4 address of an interface as the system lists it.
struct InterfaceAddress {
    std::string interfaceName;
    uint32_t address = 0;  // network byte order
    bool up = false;
    bool loopback = false;
};

// The addresses of the interfaces that are up, loopback interfaces left out, in the system's
// order, followed by 127.0.0.1 as the last element (network byte order). Never empty; no limit
// on the count. Any thread.
std::vector<uint32_t> getLocalAddressList();

// The selection rule of `getLocalAddressList` over a given interface list.
std::vector<uint32_t> selectLocalAddresses(const std::vector<InterfaceAddress>& interfaces);

}  // namespace upnp
