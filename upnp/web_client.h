#pragma once

// The web client: HTTP requests to devices over a pool of connections on the event chain.
//
// One connection record per server (IPv4 address and port, `connection key` "a.b.c.d:port:0")
// queues that server's requests and sends them one after another on one connection, which is
// kept for 3000 ms after the last response. At most `poolSize` servers are served at once; the
// others wait on the backlog. A failed connect is retried after 0, 1, 2, 4 and 8 s (6 connects);
// then every queued request ends with interrupt code 5. Idle records are parked (at most 20) so
// that a later request to the same server finds its record again.
//
// Responses go through `HttpResponseReader` (bounded head and body, see there). A response that
// fails (lost connection, oversized or unparsable head, body over the limit, bad chunked coding,
// no complete head within `kResponseHeadTimeoutMs` of the request, or a body that stalls for
// `kResponseIdleTimeoutMs`, both on the chain's clock) ends its request with a done call without
// head; the connection is then closed and the other requests of that server go out on a new one.
// A GET whose connection the server closed before a byte of the response arrived (a kept-alive
// connection closing just as the request went out) is sent once more on a new connection first.
//
// One server address holds at most `kMaxConnectionsPerAddress` pool sockets at once (whatever
// its ports), so that servers that never answer on one host cannot starve the others.
//
// Threads: `webRequest`, `webRequestPacket`, `deleteRequests` and `cancelRequest` may be called
// from any thread; they take the client's lock and wake the chain. Connects, receiving, timers
// and every callback run on the chain thread, never with the client's lock held.
//
// Ownership: the chain owns the client and its pool sockets. Tokens borrow the client: cancel a
// request only while its client lives. A request owns a copy of its bytes until it ends. When
// the client goes (removed from the chain or with the chain), every queued request gets code 5.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "upnp/async_socket.h"
#include "upnp/chain.h"
#include "upnp/http_packet.h"
#include "upnp/http_response_reader.h"
#include "upnp/keyed_table.h"
#include "upnp/linked_list.h"

namespace upnp {

struct ConnectionRecord;

// Interrupt codes of a response callback.
inline constexpr int kWebInterruptNone = 0;
// Connecting failed for good, or the client is being destroyed.
inline constexpr int kWebInterruptConnectFailed = 5;
// The request was removed by `deleteRequests`.
inline constexpr int kWebInterruptDeleted = 6;

// One delivery of a response.
// - `connection`: the server's record (null for a request dropped by `deleteRequests`);
// - `interruptCode`: 0, 5 or 6 (above);
// - `head`: the response head, null when there is none (failure or interruption);
// - `body`: every body byte not yet consumed; set `consumed` (0 on entry) to how many were used.
//   What is left is offered again, with more, on the next call;
// - `done`: the last call for the request; everything offered is final;
// - `pause`: set above 0 to stop reading from the connection until the socket is resumed.
// Callers keep their own data in the closure.
using WebResponseCallback =
    std::function<void(ConnectionRecord* connection, int interruptCode, const HttpPacket* head,
                       std::string_view body, size_t& consumed, bool done, int& pause)>;

class WebClient;

// Names one request for `cancelRequest`. Default-constructed: no request.
struct RequestToken {
    WebClient* client = nullptr;
    uint64_t id = 0;
    explicit operator bool() const { return client != nullptr && id != 0; }
};

// "%s:%d:%d" of the dotted address (network byte order), the port and the index.
std::string connectionKey(uint32_t address, uint16_t port, int index = 0);

class WebClient final : public ChainObject {
  public:
    static constexpr int64_t kIdleTimeoutMs = 3000;
    static constexpr size_t kMaxParked = 20;
    static constexpr size_t kInitialBufferSize = 32768;
    static constexpr int kGiveUpRetryCounter = 16;
    // Time for a response head after the request went out, and the longest pause between two
    // reads of a body: a slow but honest device meets both with ease.
    static constexpr int64_t kResponseHeadTimeoutMs = 10'000;
    static constexpr int64_t kResponseIdleTimeoutMs = 10'000;
    static constexpr int kMaxConnectionsPerAddress = 2;

    // Use `createWebClient`.
    explicit WebClient(Chain& chain);
    ~WebClient() override;

    void preSelect(SocketSets& sets, int& waitMs) override;
    void destroy() override;

    Chain& chain() const { return chain_; }

    // A queued request (internal to the client and its records).
    struct Request;

    // The most body bytes a response may carry (default 4 MiB). Before the first request.
    void setBodyLimit(uint64_t bytes) { bodyLimit_ = bytes; }

    // Diagnostics and tests; any thread.
    size_t connectionCount();
    size_t parkedCount();
    size_t backlogCount();
    // Number of connects started since the client was made.
    uint64_t connectsStarted();

  private:
    friend WebClient& createWebClient(Chain&, int);
    friend RequestToken webRequest(WebClient&, uint32_t, uint16_t, SendBuffer, SendBuffer,
                                   WebResponseCallback);
    friend void deleteRequests(WebClient&, std::string_view, uint16_t);
    friend void cancelRequest(RequestToken);
    friend void resumeConnection(WebClient&, ConnectionRecord&);

    using RecordPtr = std::shared_ptr<ConnectionRecord>;

    void onConnect(size_t slot, bool success);
    void onData(size_t slot, std::string_view bytes, size_t& consumed, int& pause);
    void onDisconnect(size_t slot);
    void sendFront(const RecordPtr& record);
    void finishRequest(const RecordPtr& record);
    void failFront(const RecordPtr& record);
    void closeRecordSocket(const RecordPtr& record);
    void retryLater(const RecordPtr& record);
    void idleTimeout(const RecordPtr& record);
    void startResponseTimer(const RecordPtr& record, int64_t ms);
    void stopResponseTimer(const RecordPtr& record);
    void responseTimedOut(const RecordPtr& record, uint64_t requestId);
    RecordPtr takeStartableLocked();
    void cancelNow(uint64_t id);
    RecordPtr slotOwner(size_t slot);
    void addToBacklogLocked(const RecordPtr& record);
    void forgetRecordLocked(const RecordPtr& record);
    void parkLocked(const RecordPtr& record);

    Chain& chain_;
    uint64_t bodyLimit_ = HttpResponseReader::kDefaultBodyLimit;
    // Cleared by `destroy`: socket callbacks that outlive the client do nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    const char cancelKey_ = 0;

    std::mutex mutex_;  // over everything below and every record's queue
    std::vector<AsyncSocket*> pool_;
    std::vector<RecordPtr> slotOwners_;
    KeyedTable<RecordPtr> connections_;
    KeyedTable<RecordPtr> parked_;
    size_t parkedCount_ = 0;
    LinkedList<RecordPtr> backlog_;
    uint64_t nextRequestId_ = 1;
    uint64_t connectsStarted_ = 0;
};

// Makes a client with `poolSize` sockets (5 for the control point) on `chain`; the chain owns it.
WebClient& createWebClient(Chain& chain, int poolSize);

// Queues a request to `address` (network byte order):`port`. `head` is the request head; `body`
// may be empty. The request keeps its own copy of both (it may have to send them again on a new
// connection), so borrowed buffers need only last for the call. Returns the request's token.
RequestToken webRequest(WebClient& client, uint32_t address, uint16_t port, SendBuffer head,
                        SendBuffer body, WebResponseCallback callback);

// Serializes `packet` as the head of a request without a separate body.
RequestToken webRequestPacket(WebClient& client, uint32_t address, uint16_t port,
                              std::unique_ptr<HttpPacket> packet, WebResponseCallback callback);

// Drops every queued request to `address` (dotted):`port`: each callback gets code 6, no head,
// done; then closes the server's connection.
void deleteRequests(WebClient& client, std::string_view address, uint16_t port);

// In the next pass, removes that one request (closing its connection when its response was in
// progress). A cancelled request's callback is not called: cancelling is not a failure.
void cancelRequest(RequestToken token);

// Ends a pause that a response callback asked for on `connection`: the bytes that arrived
// meanwhile are offered in the next pass. Any thread; nothing happens when the connection is gone.
void resumeConnection(WebClient& client, ConnectionRecord& connection);

}  // namespace upnp
