#include "platform/socket_calls.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int openSocket(int type) {
    return ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

void closeSocket(int handle) {
    ::close(handle);
}

void setSocketNonBlocking(int handle) {
    const int flags = ::fcntl(handle, F_GETFL, 0);
    if (flags >= 0)
        ::fcntl(handle, F_SETFL, flags | O_NONBLOCK);
}

int acceptSocket(int listenHandle, sockaddr_in& peer) {
    socklen_t length = sizeof peer;
    return ::accept4(listenHandle, reinterpret_cast<sockaddr*>(&peer), &length,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
}

bool startConnect(int handle, const sockaddr_in& target) {
    return ::connect(handle, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0 ||
           errno == EINPROGRESS || errno == EINTR;
}

int lastSocketError() {
    return errno;
}

}  // namespace platform
