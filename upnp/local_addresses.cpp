#include "upnp/local_addresses.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace upnp {

std::vector<uint32_t> selectLocalAddresses(const std::vector<InterfaceAddress>& interfaces) {
    std::vector<uint32_t> addresses;
    for (const auto& entry : interfaces) {
        if (entry.up && !entry.loopback)
            addresses.push_back(entry.address);
    }
    addresses.push_back(htonl(INADDR_LOOPBACK));
    return addresses;
}

}  // namespace upnp
