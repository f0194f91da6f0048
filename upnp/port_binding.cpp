#include "upnp/port_binding.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/socket_calls.h"
#include "upnp/random_port.h"

namespace upnp {

bool bindPort(int handle, uint32_t address, uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    local.sin_port = htons(port);
    return ::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool bindRandomPort(int handle, uint32_t address, uint16_t lowest, uint16_t highest,
                    uint16_t& port) {
    for (int tries = 0; tries < kRandomPortTries; ++tries) {
        const uint16_t candidate = randomPort(lowest, highest);
        if (bindPort(handle, address, candidate)) {
            port = candidate;
            return true;
        }
        if (platform::lastSocketError() != EADDRINUSE)
            return false;
    }
    return false;
}

}  // namespace upnp
