#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include "upnp/local_addresses.h"

namespace upnp {

std::vector<uint32_t> getLocalAddressList() {
    std::vector<InterfaceAddress> interfaces;
    ifaddrs* list = nullptr;
    // A failed query leaves the list with just the loopback address.
    if (::getifaddrs(&list) == 0) {
        for (const ifaddrs* at = list; at != nullptr; at = at->ifa_next) {
            if (at->ifa_addr == nullptr || at->ifa_addr->sa_family != AF_INET)
                continue;
            const auto* inet = reinterpret_cast<const sockaddr_in*>(at->ifa_addr);
            interfaces.push_back({at->ifa_name ? at->ifa_name : "", inet->sin_addr.s_addr,
                                  (at->ifa_flags & IFF_UP) != 0,
                                  (at->ifa_flags & IFF_LOOPBACK) != 0});
        }
        ::freeifaddrs(list);
    }
    return selectLocalAddresses(interfaces);
}

}  // namespace upnp
