#include "upnp/async_server_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "platform/trace.h"
#include "upnp/port_binding.h"
#include "upnp/random_port.h"

namespace upnp {
namespace {

// Opens and binds the listening handle; -1 and port 0 when no bind succeeded.
int openListener(uint32_t address, uint16_t& port) {
    int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0) {
        port = 0;
        return -1;
    }
    bool bound = false;
    if (port != 0) {
        const int on = 1;
        ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        bound = bindPort(handle, address, port);
    } else {
        bound = bindRandomPort(handle, address, kRandomPortLowest, kRandomPortHighest, port);
    }
    if (!bound) {
        // Listening anyway would take a port nobody knows of.
        ::close(handle);
        port = 0;
        return -1;
    }
    return handle;
}

}  // namespace

AsyncServerSocket::AsyncServerSocket(Chain& chain, Callbacks callbacks, int listenHandle,
                                     uint16_t port)
    : chain_(chain), callbacks_(std::move(callbacks)), listenHandle_(listenHandle), port_(port) {}

AsyncServerSocket& createAsyncServerSocket(Chain& chain, size_t maxConnections, uint16_t port,
                                           size_t initialBufferSize,
                                           AsyncServerSocket::Callbacks callbacks,
                                           uint32_t bindAddress) {
    const int handle = openListener(bindAddress, port);
    auto owned = std::make_unique<AsyncServerSocket>(chain, std::move(callbacks), handle, port);
    AsyncServerSocket& server = *owned;
    // Session events go to the server's callbacks with the session named.
    for (size_t i = 0; i < maxConnections; ++i) {
        AsyncSocket::Callbacks forward{
            .onData =
                [&server](AsyncSocket& session, std::string_view bytes, size_t& consumed,
                          int& pause) {
                    if (server.callbacks_.onReceive)
                        server.callbacks_.onReceive(server, session, bytes, consumed, pause);
                    else
                        consumed = bytes.size();
                },
            .onConnect = {},
            .onDisconnect =
                [&server](AsyncSocket& session) {
                    if (server.callbacks_.onDisconnect)
                        server.callbacks_.onDisconnect(server, session);
                },
            .onSendOK =
                [&server](AsyncSocket& session) {
                    if (server.callbacks_.onSendOK)
                        server.callbacks_.onSendOK(server, session);
                },
        };
        server.sessions_.push_back(&createAsyncSocket(chain, initialBufferSize, forward));
    }
    addToChain(chain, std::move(owned));
    return server;
}

size_t AsyncServerSocket::sessionIndex(const AsyncSocket& session) const {
    for (size_t i = 0; i < sessions_.size(); ++i) {
        if (sessions_[i] == &session)
            return i;
    }
    return sessions_.size();
}

void AsyncServerSocket::preSelect(SocketSets& sets, int& waitMs) {
    if (listenHandle_ < 0)
        return;
    if (!listening_) {
        if (::listen(listenHandle_, kBacklog) != 0) {
            ::close(listenHandle_);
            listenHandle_ = -1;
            return;
        }
        listening_ = true;
    }
    const int64_t now = chain_.clock().nowMs();
    if (now < resumeAtMs_) {
        waitMs = static_cast<int>(std::min<int64_t>(waitMs, resumeAtMs_ - now));
        return;
    }
    for (AsyncSocket* session : sessions_) {
        if (session->isFree()) {
            sets.read.add(listenHandle_);
            return;
        }
    }
}

void AsyncServerSocket::postSelect(int, const SocketSets& ready) {
    if (listenHandle_ < 0 || !ready.read.contains(listenHandle_))
        return;
    for (AsyncSocket* session : sessions_) {
        if (session->isFree() && !acceptInto(*session))
            break;
    }
}

bool AsyncServerSocket::acceptInto(AsyncSocket& session) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int handle = ::accept4(listenHandle_, reinterpret_cast<sockaddr*>(&peer), &length,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (handle < 0) {
            // A connection the peer gave up on, or a signal: try the next one.
            if (errno == ECONNABORTED || errno == EINTR)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                backOff(errno);
            return false;
        }
        backoffMs_ = 0;
        attachSocket(session, handle, [this](AsyncSocket& closing) {
            if (callbacks_.onInterrupt)
                callbacks_.onInterrupt(*this, closing);
        });
        session.setRemoteAddress(peer.sin_addr.s_addr, ntohs(peer.sin_port));
        if (callbacks_.onConnect)
            callbacks_.onConnect(*this, session);
        return true;
    }
}

void AsyncServerSocket::backOff(int error) {
    if (backoffMs_ == 0) {
        platform::traceNarrow(std::string(">>>AsyncServerSocket::accept: ") + std::strerror(error) +
                              "; not accepting for a while");
    }
    backoffMs_ = backoffMs_ == 0 ? kFirstBackoffMs : std::min(backoffMs_ * 2, kMaxBackoffMs);
    resumeAtMs_ = chain_.clock().nowMs() + backoffMs_;
}

void AsyncServerSocket::destroy() {
    if (listenHandle_ >= 0)
        ::close(listenHandle_);
    listenHandle_ = -1;
}

}  // namespace upnp
