// The interface list from GetAdaptersAddresses: every IPv4 unicast address of every adapter.

#include <winsock2.h>

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <vector>

#include "upnp/local_addresses.h"

namespace upnp {

std::vector<uint32_t> getLocalAddressList() {
    std::vector<InterfaceAddress> interfaces;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the two calls; a few rounds settle it.
    for (int round = 0; round < 4 && result == ERROR_BUFFER_OVERFLOW; ++round) {
        buffer.resize(size);
        result = ::GetAdaptersAddresses(
            AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    // A failed query leaves the list with just the loopback address.
    if (result == NO_ERROR) {
        for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
             adapter != nullptr; adapter = adapter->Next) {
            const bool up = adapter->OperStatus == IfOperStatusUp;
            const bool loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
                 unicast = unicast->Next) {
                const sockaddr* address = unicast->Address.lpSockaddr;
                if (address == nullptr || address->sa_family != AF_INET)
                    continue;
                const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
                interfaces.push_back({adapter->AdapterName ? adapter->AdapterName : "",
                                      inet->sin_addr.s_addr, up, loopback});
            }
        }
    }
    return selectLocalAddresses(interfaces);
}

}  // namespace upnp
