#pragma once

// The embedded web server: accepts TCP connections on a port of its own, reads each request of
// a connection (one at a time) and lets an upper layer answer it per connection (`WebSession`).
// Without an upper layer it only rejects HTTP/1.1 requests that lack a Host header and otherwise
// leaves requests unanswered, holding the connection paused.
//
// Rules: a connection that sends no complete request head within 3000 ms of being accepted (or
// of a kept response) is closed; so is one that then stays silent for `kWebSessionStallMs`, in
// the middle of a body or waiting for an answer nobody gives (the chain's clock, restarted by
// every read and every part of a response sent); once a request is complete, no further request is
// read until its response is finished; an HTTP/1.x (x > 0) request without "Connection: close"
// keeps the connection, anything else closes it after the response.
//
// Limits: a request head longer than `kMaxRequestHead` or a body longer than `kMaxRequestBody`
// (declared or chunked) closes the connection; a head that does not parse as a request, or a
// chunk size line that is not hexadecimal or overflows, closes it too.
//
// Threads: everything runs on the chain thread, including the handlers and `sendWebResponse`.
// Ownership: the chain owns the server and its sockets. The server owns each session while its
// connection is open; an upper layer that keeps a session beyond a handler call keeps the
// `std::shared_ptr` it was given (sending on a closed session then returns kWebSessionClosed).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "upnp/async_server_socket.h"
#include "upnp/chain.h"
#include "upnp/http_packet.h"
#include "upnp/lifetime_monitor.h"

namespace upnp {

class WebServer;

inline constexpr std::string_view kMissingHostResponse =
    "HTTP/1.1 400 Bad Request (Missing Host Field)\r\n\r\n";
inline constexpr int64_t kWebSessionIdleMs = 3000;
// Once a request has begun: the longest silence of its connection.
inline constexpr int64_t kWebSessionStallMs = 10'000;
inline constexpr size_t kWebServerReceiveBuffer = 32768;
inline constexpr size_t kMaxRequestHead = 16 * 1024;
inline constexpr size_t kMaxRequestBody = 4 * 1024 * 1024;
// Result of `sendWebResponse` on a session whose connection has closed.
inline constexpr int kWebSessionClosed = -3;

class WebSession {
  public:
    // A complete request with its whole body (empty without a length or chunked coding).
    using OnRequest =
        std::function<void(WebSession&, const HttpPacket& request, std::string_view body)>;
    using OnDisconnect = std::function<void(WebSession&)>;

    // Use the server; sessions are made for accepted connections.
    WebSession(WebServer& server, AsyncSocket& socket) : server_(server), socket_(socket) {}
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    void setReceiveHandler(OnRequest handler) { onRequest_ = std::move(handler); }
    // Called when the connection closes; not when the chain ends with it open (the session is
    // then only marked closed).
    void setDisconnectHandler(OnDisconnect handler) { onDisconnect_ = std::move(handler); }

    WebServer& server() const { return server_; }
    bool isClosed() const { return closed_; }
    // True while a complete request waits for its response.
    bool isPaused() const { return awaitingResponse_; }

  private:
    friend class WebServer;
    friend int sendWebResponse(WebSession&, SendBuffer, bool);

    enum class Body { None, Length, Chunked };
    enum class Chunk { SizeLine, Data, DataEnd, Trailer };

    // Reads what `bytes` holds of the current request; sets `consumed` and `pause`.
    void receive(std::string_view bytes, size_t& consumed, int& pause);
    // False when the chunked body is malformed or too long.
    bool readChunked(std::string_view bytes, size_t& consumed, bool& complete);
    void requestComplete(int& pause);
    void responseFinished();
    void resetReader();
    void startIdleTimer();
    void startTimer(int64_t ms);
    void markClosed();

    WebServer& server_;
    AsyncSocket& socket_;  // chain-owned
    OnRequest onRequest_;
    OnDisconnect onDisconnect_;

    std::unique_ptr<HttpPacket> request_;  // null while the head is incomplete
    std::string body_;
    Body framing_ = Body::None;
    size_t remaining_ = 0;  // body bytes still expected (Length) or left in the chunk
    Chunk chunkState_ = Chunk::SizeLine;
    bool awaitingResponse_ = false;
    bool keepAfterResponse_ = false;
    bool responseDone_ = false;
    bool closePending_ = false;
    bool closed_ = false;
};

class WebServer final : public ChainObject {
  public:
    // Called for each accepted connection; may set the session's handlers and keep the pointer.
    using SessionHandler = std::function<void(const std::shared_ptr<WebSession>&)>;

    // Use `createWebServer`.
    WebServer(Chain& chain, LifetimeMonitor& monitor, SessionHandler handler);

    // Closes the sessions whose response is out and whose connection does not stay.
    void preSelect(SocketSets& sets, int& waitMs) override;
    void destroy() override;

    uint16_t port() const { return socket_ ? socket_->port() : 0; }
    size_t maxSessions() const { return sessions_.size(); }
    // Sessions with an open connection.
    size_t openSessions() const;
    LifetimeMonitor& lifetimeMonitor() const { return monitor_; }

  private:
    friend class WebSession;
    friend WebServer& createWebServer(Chain&, size_t, uint16_t, SessionHandler);

    void onConnect(AsyncSocket& socket);
    void onReceive(AsyncSocket& socket, std::string_view bytes, size_t& consumed, int& pause);
    void onDisconnect(AsyncSocket& socket);
    void onInterrupt(AsyncSocket& socket);
    std::shared_ptr<WebSession> sessionOf(const AsyncSocket& socket) const;

    Chain& chain_;
    LifetimeMonitor& monitor_;  // chain-owned
    const SessionHandler handler_;
    AsyncServerSocket* socket_ = nullptr;                // chain-owned
    std::vector<std::shared_ptr<WebSession>> sessions_;  // by session index; null when free
};

// Creates the server's lifetime monitor, its listening socket with `maxSessions` sessions of
// 32768-byte receive buffers on `port` (0: a random port in [50000, 65000)) and the server, and
// registers them on `chain`. `handler` may be empty. Chain thread, or before the chain runs.
WebServer& createWebServer(Chain& chain, size_t maxSessions, uint16_t port,
                           WebServer::SessionHandler handler = {});

// Sends (part of) a response on `session`. With `lastPart` the response is finished once handed
// over: the connection is kept (idle timer restarted, next request read) or closed after the
// bytes went out. Returns the result of `sendOnSocket`, or kWebSessionClosed. Chain thread.
int sendWebResponse(WebSession& session, SendBuffer buffer, bool lastPart);

}  // namespace upnp
