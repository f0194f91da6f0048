// Socket calls over Winsock 2. Winsock is started once, on the first socket, and left running:
// the SDK lives in other people's processes, where another module may be using it too.

#include <winsock2.h>

#include <mswsock.h>
#include <ws2tcpip.h>

#include <cerrno>

#include "platform/socket_calls.h"

namespace platform {
namespace {

bool winsockStarted() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// Non-blocking, and not handed to child processes.
bool prepare(SOCKET handle) {
    u_long on = 1;
    ::SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
    return ::ioctlsocket(handle, FIONBIO, &on) == 0;
}

// An ICMP "port unreachable" for an earlier datagram would otherwise fail the next receive with
// WSAECONNRESET, and the stack closes a socket whose receive fails.
void ignorePortUnreachable(SOCKET handle) {
    BOOL report = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(handle, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
               nullptr);
}

}  // namespace

int openSocket(int type) {
    if (!winsockStarted())
        return -1;
    const SOCKET handle = ::socket(AF_INET, type, 0);
    if (handle == INVALID_SOCKET)
        return -1;
    if (!prepare(handle)) {
        ::closesocket(handle);
        return -1;
    }
    if (type == SOCK_DGRAM)
        ignorePortUnreachable(handle);
    return static_cast<int>(handle);
}

void closeSocket(int handle) {
    ::closesocket(static_cast<SOCKET>(handle));
}

void setSocketNonBlocking(int handle) {
    u_long on = 1;
    ::ioctlsocket(static_cast<SOCKET>(handle), FIONBIO, &on);
}

int acceptSocket(int listenHandle, sockaddr_in& peer) {
    int length = sizeof peer;
    const SOCKET handle =
        ::accept(static_cast<SOCKET>(listenHandle), reinterpret_cast<sockaddr*>(&peer), &length);
    if (handle == INVALID_SOCKET)
        return -1;
    if (!prepare(handle)) {
        ::closesocket(handle);
        return -1;
    }
    return static_cast<int>(handle);
}

bool startConnect(int handle, const sockaddr_in& target) {
    if (::connect(static_cast<SOCKET>(handle), reinterpret_cast<const sockaddr*>(&target),
                  sizeof target) == 0)
        return true;
    const int error = ::WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEINTR;
}

int lastSocketError() {
    switch (::WSAGetLastError()) {
        case 0:
            return 0;
        case WSAEWOULDBLOCK:
            return EWOULDBLOCK;
        case WSAEINPROGRESS:
            return EINPROGRESS;
        case WSAEINTR:
            return EINTR;
        case WSAEADDRINUSE:
            return EADDRINUSE;
        case WSAEADDRNOTAVAIL:
            return EADDRNOTAVAIL;
        case WSAEACCES:
            return EACCES;
        case WSAEMFILE:
            return EMFILE;
        case WSAENOBUFS:
            return ENOBUFS;
        case WSAECONNABORTED:
            return ECONNABORTED;
        case WSAECONNRESET:
            return ECONNRESET;
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAEMSGSIZE:
            return EMSGSIZE;
        case WSAENOTCONN:
            return ENOTCONN;
        default:
            return EIO;
    }
}

}  // namespace platform
