// The chain's wait on Winsock's select. Each of the three sets holds at most 64 sockets
// (SocketSet::kCapacity); the read set also carries the wake-up socket, so the sets here are one
// larger than that.
#define FD_SETSIZE 65

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/socket_calls.h"
#include "upnp/chain_wait.h"

namespace upnp {
namespace {

static_assert(FD_SETSIZE == SocketSet::kCapacity + 1);

void fill(fd_set& native, const SocketSet& set) {
    FD_ZERO(&native);
    for (int handle : set.members())
        FD_SET(static_cast<SOCKET>(handle), &native);
}

int collect(SocketSet& ready, const fd_set& native, const std::vector<int>& wanted) {
    int count = 0;
    for (int handle : wanted) {
        if (FD_ISSET(static_cast<SOCKET>(handle), const_cast<fd_set*>(&native)))
            count += ready.add(handle);
    }
    return count;
}

}  // namespace

// A datagram socket on 127.0.0.1 that sends to itself: a raise is one byte to it, and the byte
// waiting makes it readable.
int openWakeSignal() {
    const int wake = platform::openSocket(SOCK_DGRAM);
    if (wake < 0)
        return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof local;
    const SOCKET handle = static_cast<SOCKET>(wake);
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        ::connect(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        platform::closeSocket(wake);
        return -1;
    }
    return wake;
}

void closeWakeSignal(int wake) {
    platform::closeSocket(wake);
}

void raiseWakeSignal(int wake) {
    const char one = 1;
    // A full receive queue already holds a raise: nothing is lost when this one is dropped.
    ::send(static_cast<SOCKET>(wake), &one, 1, 0);
}

void drainWakeSignal(int wake) {
    char bytes[64];
    while (::recv(static_cast<SOCKET>(wake), bytes, sizeof bytes, 0) > 0) {
    }
}

int waitOnSets(SocketSets& sets, int wake, int waitMs, bool& woken) {
    fd_set read{}, write{}, error{};
    fill(read, sets.read);
    FD_SET(static_cast<SOCKET>(wake), &read);
    fill(write, sets.write);
    fill(error, sets.error);
    const std::vector<int> wantRead = sets.read.members();
    const std::vector<int> wantWrite = sets.write.members();
    const std::vector<int> wantError = sets.error.members();

    woken = false;
    sets.clear();
    timeval timeout{waitMs / 1000, (waitMs % 1000) * 1000};
    // The first argument is ignored by Winsock.
    const int count = ::select(0, &read, &write, &error, &timeout);
    if (count == SOCKET_ERROR)
        return -1;
    woken = FD_ISSET(static_cast<SOCKET>(wake), &read) != 0;
    // A failed connect is reported in the error set alone; a socket waiting to become writable
    // learns of it there.
    return collect(sets.read, read, wantRead) + collect(sets.write, write, wantWrite) +
           collect(sets.error, error, wantError);
}

}  // namespace upnp
