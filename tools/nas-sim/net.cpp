#include "tools/nas-sim/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "tools/nas-sim/addresses.h"

namespace nassim {

namespace {

sockaddr_in socketAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

std::string failure(const char* what, uint32_t address, uint16_t port) {
    return std::string(what) + " " + formatIpv4(address) + ":" + std::to_string(port) + ": " +
           std::strerror(errno);
}

bool setOption(int fd, int level, int name, int value) {
    return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

ip_mreqn loopbackInterface() {
    ip_mreqn request{};
    request.imr_address.s_addr = htonl(0x7F000001u);
    request.imr_ifindex = static_cast<int>(if_nametoindex("lo"));
    return request;
}

}  // namespace

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

UniqueFd openSsdpListener(std::string& error) {
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        error = failure("socket for", kSsdpGroup, kSsdpPort);
        return {};
    }
    setOption(fd.get(), SOL_SOCKET, SO_REUSEADDR, 1);
    setOption(fd.get(), SOL_SOCKET, SO_REUSEPORT, 1);
    // Room for a burst of searches from many control points at once.
    setOption(fd.get(), SOL_SOCKET, SO_RCVBUF, 1 << 20);
    const sockaddr_in group = socketAddress(kSsdpGroup, kSsdpPort);
    if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&group), sizeof group) != 0) {
        error = failure("bind", kSsdpGroup, kSsdpPort);
        return {};
    }
    ip_mreqn membership = loopbackInterface();
    membership.imr_multiaddr.s_addr = htonl(kSsdpGroup);
    if (setsockopt(fd.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
        error = failure("join on lo", kSsdpGroup, kSsdpPort);
        return {};
    }
    return fd;
}

UniqueFd openDeviceUdpSocket(uint32_t address, std::string& error) {
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        error = failure("socket for", address, 0);
        return {};
    }
    const sockaddr_in local = socketAddress(address, 0);
    if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = failure("bind", address, 0);
        return {};
    }
    const ip_mreqn out = loopbackInterface();
    if (setsockopt(fd.get(), IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) != 0) {
        error = failure("multicast through lo from", address, 0);
        return {};
    }
    // The group is only ever reached through lo; a hop limit of 1 keeps it so even if a route
    // were to change.
    setOption(fd.get(), IPPROTO_IP, IP_MULTICAST_TTL, 1);
    setOption(fd.get(), IPPROTO_IP, IP_MULTICAST_LOOP, 1);
    // Nothing is ever read from this socket; keep stray datagrams from piling up.
    setOption(fd.get(), SOL_SOCKET, SO_RCVBUF, 1024);
    return fd;
}

UniqueFd openHttpListener(uint32_t address, uint16_t port, std::string& error) {
    UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        error = failure("socket for", address, port);
        return {};
    }
    setOption(fd.get(), SOL_SOCKET, SO_REUSEADDR, 1);
    const sockaddr_in local = socketAddress(address, port);
    if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = failure("bind", address, port);
        return {};
    }
    if (listen(fd.get(), 128) != 0) {
        error = failure("listen on", address, port);
        return {};
    }
    return fd;
}

bool sendDatagram(int fd, uint32_t address, uint16_t port, std::string_view bytes) {
    if (address != kSsdpGroup && !isLoopbackHost(address))
        return false;
    const sockaddr_in to = socketAddress(address, port);
    return sendto(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(bytes.size());
}

bool ensureFileLimit(size_t wanted) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur >= wanted)
        return true;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted)
        return false;
    limit.rlim_cur = wanted;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

}  // namespace nassim
