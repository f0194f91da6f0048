#pragma once

// The POSIX socket names the stack uses, over Winsock, for the Windows build: the address
// structures and calls come from Winsock itself; what differs is supplied here. Opening,
// closing, accepting and the last error go through platform/socket_calls.h.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <sys/types.h>

#include <cstdint>

typedef uint32_t in_addr_t;

// Winsock raises no signal on a broken connection, and the stack's sockets are all non-blocking.
#define MSG_NOSIGNAL 0
#define MSG_DONTWAIT 0
#define SHUT_RDWR SD_BOTH
// Winsock has no forcing variant; the plain request is the best there is.
#define SO_RCVBUFFORCE SO_RCVBUF

// POSIX takes option buffers of any type.
inline int setsockopt(int handle, int level, int name, const void* value, socklen_t length) {
    return ::setsockopt(static_cast<SOCKET>(handle), level, name, static_cast<const char*>(value),
                        length);
}
inline int getsockopt(int handle, int level, int name, void* value, socklen_t* length) {
    return ::getsockopt(static_cast<SOCKET>(handle), level, name, static_cast<char*>(value),
                        length);
}
