// Under Windows (Wine) the test cannot see the Linux namespace it runs in; what matters is that
// nothing can leave the machine, which holds when the system lists no IPv4 address outside
// 127.0.0.0/8. scripts/test-windows runs Wine inside a private network namespace with loopback
// alone, where that is so.

#include <winsock2.h>

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <vector>

#include "support/netns.h"

namespace ds::test {

bool inPrivateNetworkNamespace() {
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer(size);
    auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (::GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size) != NO_ERROR)
        return false;
    for (auto* adapter = list; adapter != nullptr; adapter = adapter->Next) {
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const auto* inet = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
            if (inet->sin_family == AF_INET && (ntohl(inet->sin_addr.s_addr) >> 24) != 127)
                return false;
        }
    }
    return true;
}

}  // namespace ds::test
