#pragma once

// Plain blocking peer sockets on 127.0.0.1 for tests of the asynchronous sockets, so that each
// side of a test connection is independent of the code under test.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <utility>

namespace upnp::test {

inline uint32_t loopbackAddress() {
    return htonl(INADDR_LOOPBACK);
}

// An owned descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_ = -1;
};

inline uint16_t boundPort(int fd) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// A TCP listener on 127.0.0.1 (or another loopback `address`, network byte order) and an
// ephemeral port.
inline Fd listenOnLoopback(int backlog = 4, uint32_t address = loopbackAddress()) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    ::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
    ::listen(fd.get(), backlog);
    return fd;
}

// Blocking accept, at most 5 s.
inline Fd acceptPeer(int listener) {
    timeval limit{5, 0};
    ::setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return Fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
}

// Blocking connect to 127.0.0.1:`port`.
inline Fd connectPeer(uint16_t port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = loopbackAddress();
    target.sin_port = htons(port);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&target), sizeof target) != 0)
        fd.reset();
    return fd;
}

inline bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads until `count` bytes arrived, the peer closed, or 5 s passed without data.
inline std::string readBytes(int fd, size_t count) {
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string got;
    char chunk[65536];
    while (got.size() < count) {
        const ssize_t n = ::recv(fd, chunk, std::min(sizeof chunk, count - got.size()), 0);
        if (n <= 0)
            break;
        got.append(chunk, static_cast<size_t>(n));
    }
    return got;
}

}  // namespace upnp::test
