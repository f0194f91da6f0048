#pragma once

// The listening socket of the web server, with a fixed pool of session sockets made up front.
// Each accepted connection takes a free session; while none is free the listening socket is not
// waited on, so further connections wait in the system's backlog (4) until a session closes.
//
// The chain owns the server and its session sockets (all chain objects). Callbacks run on the
// chain thread; an upper layer that keeps its own state per session indexes it by
// `sessionIndex`.
//
// When `accept` fails for want of resources (descriptors, buffers, memory) the pending
// connection stays in the backlog and the listening socket stays readable; waiting on it again
// at once would spin the chain. The server then stops waiting on it for a while on the chain's
// clock (100 ms, doubling up to 1 s while it keeps failing) and traces the first failure of
// such a run.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "upnp/async_socket.h"

namespace upnp {

class AsyncServerSocket final : public ChainObject {
  public:
    using OnSession = std::function<void(AsyncServerSocket&, AsyncSocket& session)>;
    // As `AsyncSocket::OnData`, for one session.
    using OnReceive = std::function<void(AsyncServerSocket&, AsyncSocket& session,
                                         std::string_view bytes, size_t& consumed, int& pause)>;

    struct Callbacks {
        OnSession onConnect;     // a connection was accepted into `session`
        OnSession onDisconnect;  // the session's connection closed
        OnReceive onReceive;
        OnSession onInterrupt;  // the chain ends while the session is open
        OnSession onSendOK;
    };

    static constexpr int kBacklog = 4;
    static constexpr int64_t kFirstBackoffMs = 100;
    static constexpr int64_t kMaxBackoffMs = 1000;

    // Use `createAsyncServerSocket`.
    AsyncServerSocket(Chain& chain, Callbacks callbacks, int listenHandle, uint16_t port);

    void preSelect(SocketSets& sets, int& waitMs) override;
    void postSelect(int result, const SocketSets& ready) override;
    void destroy() override;

    // The bound port, 0 when binding failed (the server then never accepts).
    uint16_t port() const { return port_; }
    size_t maxConnections() const { return sessions_.size(); }
    AsyncSocket& session(size_t index) const { return *sessions_[index]; }
    // Index of `session` in the pool; maxConnections() when it is not one of this server's.
    size_t sessionIndex(const AsyncSocket& session) const;

  private:
    friend AsyncServerSocket& createAsyncServerSocket(Chain&, size_t, uint16_t, size_t, Callbacks,
                                                      uint32_t);

    // Accepts one connection into `session`; false when the backlog is empty or `accept`
    // failed (backing off when it ran out of resources).
    bool acceptInto(AsyncSocket& session);
    void backOff(int error);

    Chain& chain_;
    const Callbacks callbacks_;
    int listenHandle_;
    int64_t backoffMs_ = 0;   // 0 while accepting works
    int64_t resumeAtMs_ = 0;  // not waited on before this time of the chain's clock
    const uint16_t port_;
    bool listening_ = false;
    std::vector<AsyncSocket*> sessions_;  // chain-owned
};

// Creates `maxConnections` session sockets and the server, registers them on `chain`, and binds
// a TCP socket to `bindAddress` (network byte order; 0, the default, is every interface): with a
// non-zero `port` on that port with address reuse, with port 0 on a random port in
// [50000, 65000).
AsyncServerSocket& createAsyncServerSocket(Chain& chain, size_t maxConnections, uint16_t port,
                                           size_t initialBufferSize,
                                           AsyncServerSocket::Callbacks callbacks,
                                           uint32_t bindAddress = 0);

}  // namespace upnp
