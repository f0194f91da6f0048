#pragma once

// The socket calls that differ between systems, for the stack's sockets: opening a non-blocking
// socket that child processes do not inherit, closing it, accepting, starting a connect, and the
// last socket error as an errno value (EWOULDBLOCK, EADDRINUSE, ...), whatever the system keeps it
// in. Handles are ints (-1: none) on every system. Any thread.
//
// The address structures and the remaining calls (bind, send, recvfrom, setsockopt, ...) come
// from <sys/socket.h>, <netinet/in.h> and <arpa/inet.h>, which the Windows build supplies over
// Winsock (platform/windows/posix/).

#include <cstdint>

struct sockaddr_in;

namespace platform {

// A non-blocking, non-inherited socket of `type` (SOCK_STREAM or SOCK_DGRAM) for IPv4; -1 on
// failure.
int openSocket(int type);
void closeSocket(int handle);
// Makes an accepted or handed-over socket non-blocking.
void setSocketNonBlocking(int handle);
// The next pending connection of a listener, non-blocking and non-inherited; -1 when none.
int acceptSocket(int listenHandle, sockaddr_in& peer);
// Starts a non-blocking connect; true when it completed or is under way.
bool startConnect(int handle, const sockaddr_in& target);
// The error of the socket call that failed last on this thread, as an errno value.
int lastSocketError();

}  // namespace platform
