#pragma once

// The asynchronous socket: a non-blocking TCP or UDP socket that lives on the event chain, with
// a send queue and a receive buffer, that connects without blocking and reports every event
// through callbacks on the chain thread.
//
// A socket is created once and reused: free → connecting (`connectSocket`) → connected → free
// again after a close, an error, a time-out or `disconnectSocket`; or free → connected at once
// through `attachSocket`. The chain owns it (see chain.h); upper layers hold references.
//
// Threads: hooks and callbacks run on the chain thread, never with the socket's lock held.
// `connectSocket`, `sendOnSocket`, `disconnectSocket` and `resumeSocket` may also be called from
// other threads; they lock the socket and wake the chain when they leave work for it. Called off
// the chain thread, `disconnectSocket` closes in the next pass so that `onDisconnect` still runs
// on the chain thread.
//
// Receiving (`onData`): the callback is offered every unconsumed byte, old and new, and reports
// in `consumed` how many it used. What it leaves is offered again, followed by new data, after
// the next read; while it keeps consuming, the rest is offered again at once. The view is valid
// only during the call (the buffer moves when it grows or is compacted). Setting `pause` above 0
// stops deliveries until `resumeSocket`.
//
// The receive buffer grows in 4096-byte steps up to a cap (1 MiB unless the owner sets another);
// a peer that fills it without the consumer taking anything is disconnected (`onDisconnect`).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "upnp/chain.h"

namespace upnp {

class AsyncSocket;

// Buffer modes of a send.
enum SendMode {
    SendFree = 0,    // the socket owns the bytes (moved in) and drops them once sent or discarded
    SendStatic = 1,  // borrowed: the caller keeps them valid until the queue has moved past them
    SendCopy = 2,    // borrowed for the call only: copied if they cannot go out at once
};

// Results of `sendOnSocket`.
inline constexpr int kSendDone = 0;
inline constexpr int kSendQueued = 1;
inline constexpr int kSendClosed = -4;

// Bytes handed to `sendOnSocket`, with their mode.
class SendBuffer {
  public:
    static SendBuffer owned(std::string bytes);          // SendFree
    static SendBuffer borrowed(std::string_view bytes);  // SendStatic
    static SendBuffer copied(std::string_view bytes);    // SendCopy
    // SendStatic and SendCopy borrow; SendFree needs `owned`.
    static SendBuffer of(std::string_view bytes, SendMode mode);

    SendMode mode() const { return mode_; }
    std::string_view bytes() const { return holdsCopy_ ? std::string_view(owned_) : view_; }
    // Takes a private copy of borrowed bytes in mode SendCopy (before queueing).
    void keep();

  private:
    SendMode mode_ = SendStatic;
    std::string owned_;
    std::string_view view_;
    bool holdsCopy_ = false;
};

class AsyncSocket : public ChainObject {
  public:
    // `bytes`: every unconsumed byte; set `consumed` (0 on entry) to how many were used.
    // `pause`: the pause flag (0 on entry while deliveries run); set above 0 to pause.
    using OnData =
        std::function<void(AsyncSocket&, std::string_view bytes, size_t& consumed, int& pause)>;
    using OnConnect = std::function<void(AsyncSocket&, bool success)>;
    using OnEvent = std::function<void(AsyncSocket&)>;

    struct Callbacks {
        OnData onData;
        OnConnect onConnect;   // a connect completed (true) or failed / timed out (false)
        OnEvent onDisconnect;  // an open connection closed or failed
        OnEvent onSendOK;      // a send on the chain thread emptied the queue
    };

    static constexpr int64_t kConnectTimeoutMs = 30'000;
    static constexpr size_t kDefaultMaxBufferSize = 1 << 20;
    static constexpr size_t kBufferStep = 4096;
    static constexpr size_t kMinFreeSpace = 1024;

    // Use `createAsyncSocket`.
    AsyncSocket(Chain& chain, size_t initialBufferSize, Callbacks callbacks);
    ~AsyncSocket() override;

    void preSelect(SocketSets& sets, int& waitMs) override;
    void postSelect(int result, const SocketSets& ready) override;
    void destroy() override;

    Chain& chain() const { return chain_; }

    // Queries; any thread.
    bool isFree() const;
    // The multicast interface after a successful join, else the bound local address.
    uint32_t localAddress() const;   // network byte order
    uint32_t remoteAddress() const;  // network byte order
    uint16_t remotePort() const;
    void setRemoteAddress(uint32_t address, uint16_t port);
    int pauseFlag() const;
    uint64_t pendingBytes() const;
    uint64_t bytesSent() const;
    size_t bufferSize() const;
    // The OS handle, -1 when free (socket options of upper layers).
    int handle() const;

    // The receive buffer cap; never below the initial size. Chain thread or before use.
    void setMaxBufferSize(size_t bytes);
    size_t maxBufferSize() const { return maxBufferSize_; }

  protected:
    // Set by a successful multicast join, cleared (0) by a failed one.
    void setLocalAddressOverride(uint32_t address);

  private:
    friend void connectSocket(AsyncSocket&, uint32_t, uint32_t, uint16_t, OnEvent);
    friend void attachSocket(AsyncSocket&, int, OnEvent);
    friend int sendOnSocket(AsyncSocket&, SendBuffer, uint32_t, uint16_t);
    friend void disconnectSocket(AsyncSocket&);
    friend void resumeSocket(AsyncSocket&);

    struct SendNode {
        SendBuffer buffer;
        size_t sent = 0;
        uint32_t address = 0;  // 0: the connected peer
        uint16_t port = 0;
    };
    enum class SendResult { Emptied, Blocked, Failed };

    void resetLocked(int newHandle);
    void closeLocked();
    ssize_t sendSome(const SendNode& node, std::string_view bytes) const;
    SendResult flushQueueLocked();
    void scheduleDisconnect();
    void disconnectNow();
    void connectTimedOut(uint64_t generation);
    void readAndDeliver(uint64_t generation);
    void deliver(uint64_t generation);
    void report(const OnEvent& callback);

    Chain& chain_;
    const Callbacks callbacks_;
    const size_t initialBufferSize_;
    size_t maxBufferSize_;
    // Distinct addresses naming this socket's timers on the chain's monitor.
    const char connectTimerKey_ = 0;
    const char closeTimerKey_ = 0;

    mutable std::mutex mutex_;
    int handle_ = -1;
    // Datagram sockets read every queued datagram in one pass (bounded), take an empty datagram
    // for nothing rather than for the end of the connection, and drop a datagram that cannot be
    // sent instead of closing.
    bool datagram_ = false;
    bool connected_ = false;
    // Counts every connect, attach and close, so that stale timers and deliveries of a previous
    // connection do nothing.
    uint64_t generation_ = 0;
    // The generation whose handle the last `preSelect` put in the sets (0: none).
    uint64_t polledGeneration_ = 0;
    int pause_ = 0;
    uint32_t remoteAddress_ = 0;
    uint16_t remotePort_ = 0;
    uint32_t localOverride_ = 0;
    std::deque<SendNode> sendQueue_;
    uint64_t pendingBytes_ = 0;
    uint64_t bytesSent_ = 0;
    OnEvent onInterrupt_;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
};

// Makes a socket with the given callbacks (any may be empty) and registers it on `chain`.
AsyncSocket& createAsyncSocket(Chain& chain, size_t initialBufferSize,
                               AsyncSocket::Callbacks callbacks);

// Connects to `remoteAddress`:`remotePort` (network byte order address) from `localAddress`
// (0: any interface) on a random port in [50000, 65000). The result comes through `onConnect`,
// at the latest after 30 s on the chain's clock. `onInterrupt` runs if the chain ends while
// this connection is open.
void connectSocket(AsyncSocket& socket, uint32_t localAddress, uint32_t remoteAddress,
                   uint16_t remotePort, AsyncSocket::OnEvent onInterrupt = {});

// Adopts an open handle (an accepted connection or a bound UDP socket); the socket owns it.
void attachSocket(AsyncSocket& socket, int handle, AsyncSocket::OnEvent onInterrupt = {});

// kSendDone when the bytes went out completely, kSendQueued when (part of) them wait in the
// queue, kSendClosed when the socket is closed or the send failed. Address and port 0 mean the
// connected peer; otherwise the bytes go to that address (datagrams). A failed send on a stream
// closes the connection in the next pass (`onDisconnect`); a failed datagram is only dropped.
[[nodiscard]] int sendOnSocket(AsyncSocket& socket, SendBuffer buffer, uint32_t address = 0,
                               uint16_t port = 0);

// Closes the connection and reports `onDisconnect`; a free socket is left alone.
void disconnectSocket(AsyncSocket& socket);

// Ends a pause: the next pass offers the buffered bytes again, without waiting for new ones.
// On a socket that is free or still connecting it does nothing (a connect starts unpaused).
void resumeSocket(AsyncSocket& socket);

}  // namespace upnp
