#include "upnp/async_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/socket_calls.h"
#include "upnp/lifetime_monitor.h"
#include "upnp/port_binding.h"
#include "upnp/random_port.h"

namespace upnp {
namespace {

// Bounds the datagrams read in one pass so that a flood cannot hold the chain.
constexpr int kMaxDatagramsPerPass = 4096;

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

sockaddr_in inetAddress(uint32_t address, uint16_t port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = address;
    target.sin_port = htons(port);
    return target;
}

}  // namespace

SendBuffer SendBuffer::owned(std::string bytes) {
    SendBuffer buffer;
    buffer.mode_ = SendFree;
    buffer.owned_ = std::move(bytes);
    buffer.holdsCopy_ = true;
    return buffer;
}

SendBuffer SendBuffer::borrowed(std::string_view bytes) {
    SendBuffer buffer;
    buffer.mode_ = SendStatic;
    buffer.view_ = bytes;
    return buffer;
}

SendBuffer SendBuffer::copied(std::string_view bytes) {
    SendBuffer buffer = borrowed(bytes);
    buffer.mode_ = SendCopy;
    return buffer;
}

SendBuffer SendBuffer::of(std::string_view bytes, SendMode mode) {
    return mode == SendCopy   ? copied(bytes)
           : mode == SendFree ? owned(std::string(bytes))
                              : borrowed(bytes);
}

void SendBuffer::keep() {
    if (mode_ == SendCopy && !holdsCopy_) {
        owned_.assign(view_);
        holdsCopy_ = true;
    }
}

AsyncSocket::AsyncSocket(Chain& chain, size_t initialBufferSize, Callbacks callbacks)
    : chain_(chain),
      callbacks_(std::move(callbacks)),
      initialBufferSize_(std::max<size_t>(initialBufferSize, 1)),
      maxBufferSize_(std::max(kDefaultMaxBufferSize, initialBufferSize_)),
      buffer_(initialBufferSize_) {}

AsyncSocket::~AsyncSocket() {
    if (handle_ >= 0)
        platform::closeSocket(handle_);
}

AsyncSocket& createAsyncSocket(Chain& chain, size_t initialBufferSize,
                               AsyncSocket::Callbacks callbacks) {
    return addToChain(
        chain, std::make_unique<AsyncSocket>(chain, initialBufferSize, std::move(callbacks)));
}

bool AsyncSocket::isFree() const {
    std::lock_guard lock(mutex_);
    return handle_ < 0;
}

uint32_t AsyncSocket::localAddress() const {
    std::lock_guard lock(mutex_);
    if (localOverride_ != 0)
        return localOverride_;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (handle_ < 0 || ::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return local.sin_addr.s_addr;
}

uint32_t AsyncSocket::remoteAddress() const {
    std::lock_guard lock(mutex_);
    return remoteAddress_;
}

uint16_t AsyncSocket::remotePort() const {
    std::lock_guard lock(mutex_);
    return remotePort_;
}

void AsyncSocket::setRemoteAddress(uint32_t address, uint16_t port) {
    std::lock_guard lock(mutex_);
    remoteAddress_ = address;
    remotePort_ = port;
}

int AsyncSocket::pauseFlag() const {
    std::lock_guard lock(mutex_);
    return pause_;
}

uint64_t AsyncSocket::pendingBytes() const {
    std::lock_guard lock(mutex_);
    return pendingBytes_;
}

uint64_t AsyncSocket::bytesSent() const {
    std::lock_guard lock(mutex_);
    return bytesSent_;
}

size_t AsyncSocket::bufferSize() const {
    std::lock_guard lock(mutex_);
    return buffer_.size();
}

int AsyncSocket::handle() const {
    std::lock_guard lock(mutex_);
    return handle_;
}

void AsyncSocket::setMaxBufferSize(size_t bytes) {
    std::lock_guard lock(mutex_);
    maxBufferSize_ = std::max(bytes, initialBufferSize_);
}

void AsyncSocket::setLocalAddressOverride(uint32_t address) {
    std::lock_guard lock(mutex_);
    localOverride_ = address;
}

// Starts a new connection state on `newHandle` (may be -1).
void AsyncSocket::resetLocked(int newHandle) {
    if (handle_ >= 0 && handle_ != newHandle)
        closeLocked();
    handle_ = newHandle;
    ++generation_;
    connected_ = false;
    pause_ = 0;
    pendingBytes_ = 0;
    bytesSent_ = 0;
    sendQueue_.clear();
    buffer_.assign(initialBufferSize_, 0);
    buffer_.shrink_to_fit();
    begin_ = end_ = 0;
    int type = SOCK_STREAM;
    socklen_t length = sizeof type;
    if (newHandle >= 0)
        ::getsockopt(newHandle, SOL_SOCKET, SO_TYPE, &type, &length);
    datagram_ = type == SOCK_DGRAM;
}

void AsyncSocket::closeLocked() {
    if (handle_ < 0)
        return;
    if (!datagram_)
        ::shutdown(handle_, SHUT_RDWR);
    platform::closeSocket(handle_);
    handle_ = -1;
    ++generation_;
    connected_ = false;
    sendQueue_.clear();
    pendingBytes_ = 0;
}

void AsyncSocket::report(const OnEvent& callback) {
    if (callback)
        callback(*this);
}

void connectSocket(AsyncSocket& socket, uint32_t localAddress, uint32_t remoteAddress,
                   uint16_t remotePort, AsyncSocket::OnEvent onInterrupt) {
    bool failedAtOnce = false;
    uint64_t generation = 0;
    {
        std::lock_guard lock(socket.mutex_);
        // A handle left open by an earlier connection cannot connect again: start afresh.
        socket.closeLocked();
        int handle = platform::openSocket(SOCK_STREAM);
        uint16_t localPort = 0;
        if (handle >= 0 && !bindRandomPort(handle, localAddress, kRandomPortLowest,
                                           kRandomPortHighest, localPort)) {
            platform::closeSocket(handle);
            handle = -1;
        }
        socket.resetLocked(handle);
        socket.remoteAddress_ = remoteAddress;
        socket.remotePort_ = remotePort;
        socket.localOverride_ = 0;
        socket.onInterrupt_ = std::move(onInterrupt);
        generation = socket.generation_;
        if (handle < 0) {
            failedAtOnce = true;
        } else {
            const int on = 1;
            ::setsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
            const sockaddr_in target = inetAddress(remoteAddress, remotePort);
            if (!platform::startConnect(handle, target))
                failedAtOnce = true;
        }
    }
    LifetimeMonitor& monitor = socket.chain_.lifetimeMonitor();
    lifetimeRemove(monitor, &socket.connectTimerKey_);
    // A connect refused before it started is reported like any other failure: on the chain
    // thread, in a later pass.
    lifetimeAdd(monitor, &socket.connectTimerKey_,
                failedAtOnce ? 0 : AsyncSocket::kConnectTimeoutMs,
                [&socket, generation] { socket.connectTimedOut(generation); });
    unblockChain(socket.chain_);
}

void AsyncSocket::connectTimedOut(uint64_t generation) {
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || connected_)
            return;
        closeLocked();
    }
    if (callbacks_.onConnect)
        callbacks_.onConnect(*this, false);
}

void attachSocket(AsyncSocket& socket, int handle, AsyncSocket::OnEvent onInterrupt) {
    std::lock_guard lock(socket.mutex_);
    socket.resetLocked(handle);
    socket.onInterrupt_ = std::move(onInterrupt);
    socket.connected_ = handle >= 0;
    if (handle >= 0)
        platform::setSocketNonBlocking(handle);
}

ssize_t AsyncSocket::sendSome(const SendNode& node, std::string_view bytes) const {
    if (node.address == 0 && node.port == 0)
        return ::send(handle_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    const sockaddr_in target = inetAddress(node.address, node.port);
    return ::sendto(handle_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                    reinterpret_cast<const sockaddr*>(&target), sizeof target);
}

int sendOnSocket(AsyncSocket& socket, SendBuffer buffer, uint32_t address, uint16_t port) {
    AsyncSocket::SendNode node{std::move(buffer), 0, address, port};
    const size_t length = node.buffer.bytes().size();
    {
        std::lock_guard lock(socket.mutex_);
        if (socket.handle_ < 0)
            return kSendClosed;
        socket.pendingBytes_ += length;
        // Behind queued bytes, or before the connection is up: wait in line.
        if (!socket.sendQueue_.empty() || !socket.connected_) {
            node.buffer.keep();
            socket.sendQueue_.push_back(std::move(node));
        } else {
            const ssize_t sent = socket.sendSome(node, node.buffer.bytes());
            if (sent >= 0 && static_cast<size_t>(sent) == length) {
                socket.pendingBytes_ -= length;
                socket.bytesSent_ += length;
                return kSendDone;
            }
            if (sent < 0 && !wouldBlock(platform::lastSocketError())) {
                socket.pendingBytes_ -= length;
                if (socket.datagram_)
                    return kSendClosed;
                socket.scheduleDisconnect();
                return kSendClosed;
            }
            if (sent > 0) {
                node.sent = static_cast<size_t>(sent);
                socket.pendingBytes_ -= node.sent;
                socket.bytesSent_ += node.sent;
            }
            node.buffer.keep();
            socket.sendQueue_.push_back(std::move(node));
        }
    }
    unblockChain(socket.chain_);
    return kSendQueued;
}

// Called with the lock held; the timer itself runs later without it.
void AsyncSocket::scheduleDisconnect() {
    const uint64_t generation = generation_;
    lifetimeAdd(chain_.lifetimeMonitor(), &closeTimerKey_, 0, [this, generation] {
        {
            std::lock_guard lock(mutex_);
            if (generation != generation_)
                return;
        }
        disconnectNow();
    });
}

AsyncSocket::SendResult AsyncSocket::flushQueueLocked() {
    while (!sendQueue_.empty()) {
        SendNode& node = sendQueue_.front();
        const std::string_view rest = node.buffer.bytes().substr(node.sent);
        const ssize_t sent = rest.empty() ? 0 : sendSome(node, rest);
        if (sent < 0) {
            if (wouldBlock(platform::lastSocketError()))
                return SendResult::Blocked;
            if (datagram_) {
                pendingBytes_ -= rest.size();
                sendQueue_.pop_front();
                continue;
            }
            sendQueue_.clear();
            pendingBytes_ = 0;
            return SendResult::Failed;
        }
        node.sent += static_cast<size_t>(sent);
        pendingBytes_ -= static_cast<size_t>(sent);
        bytesSent_ += static_cast<size_t>(sent);
        if (node.sent < node.buffer.bytes().size())
            return SendResult::Blocked;
        sendQueue_.pop_front();
    }
    return SendResult::Emptied;
}

void disconnectSocket(AsyncSocket& socket) {
    if (!socket.chain_.onChainThread()) {
        std::lock_guard lock(socket.mutex_);
        if (socket.handle_ >= 0)
            socket.scheduleDisconnect();
        return;
    }
    socket.disconnectNow();
}

void AsyncSocket::disconnectNow() {
    if (!chain_.isEnding())
        lifetimeRemove(chain_.lifetimeMonitor(), &connectTimerKey_);
    {
        std::lock_guard lock(mutex_);
        if (handle_ < 0)
            return;
        pause_ = 1;
        closeLocked();
    }
    report(callbacks_.onDisconnect);
}

void resumeSocket(AsyncSocket& socket) {
    {
        std::lock_guard lock(socket.mutex_);
        // Nothing to deliver before the connection is up, and the connect clears the pause
        // itself: resuming now would only make every pass skip its wait until then.
        if (socket.handle_ < 0 || !socket.connected_)
            return;
        socket.pause_ = -1;
    }
    unblockChain(socket.chain_);
}

void AsyncSocket::preSelect(SocketSets& sets, int& waitMs) {
    std::lock_guard lock(mutex_);
    polledGeneration_ = handle_ < 0 ? 0 : generation_;
    if (handle_ < 0)
        return;
    if (pause_ < 0 && connected_)
        waitMs = 0;
    if (!connected_) {
        sets.write.add(handle_);
        sets.error.add(handle_);
    } else if (pause_ == 0) {
        sets.read.add(handle_);
        sets.error.add(handle_);
    }
    if (!sendQueue_.empty())
        sets.write.add(handle_);
}

void AsyncSocket::postSelect(int, const SocketSets& ready) {
    uint64_t generation = 0;
    bool sendDone = false;
    {
        std::lock_guard lock(mutex_);
        // The sets tell about the handle that was polled; one opened since (even under the same
        // number) has not been waited on yet.
        if (handle_ < 0 || generation_ != polledGeneration_)
            return;
        generation = generation_;
        if (connected_ && ready.write.contains(handle_) && !sendQueue_.empty()) {
            switch (flushQueueLocked()) {
                case SendResult::Emptied:
                    sendDone = true;
                    break;
                case SendResult::Failed:
                    scheduleDisconnect();
                    break;
                case SendResult::Blocked:
                    break;
            }
        }
    }
    if (sendDone)
        report(callbacks_.onSendOK);

    enum class Step { Nothing, ConnectFailed, Connected, Disconnected, Read, Resume };
    Step step = Step::Nothing;
    {
        std::lock_guard lock(mutex_);
        // A callback may have closed or reused the socket: the ready sets are then stale.
        if (handle_ < 0 || generation != generation_)
            return;
        const bool failed = ready.error.contains(handle_);
        if (!connected_) {
            int error = 0;
            socklen_t length = sizeof error;
            if (failed) {
                step = Step::ConnectFailed;
            } else if (ready.write.contains(handle_)) {
                ::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &length);
                step = error == 0 ? Step::Connected : Step::ConnectFailed;
            }
            if (step == Step::ConnectFailed) {
                closeLocked();
            } else if (step == Step::Connected) {
                connected_ = true;
                pause_ = 0;
            }
        } else if (failed) {
            step = Step::Disconnected;
            pause_ = 1;
            closeLocked();
        } else if (ready.read.contains(handle_)) {
            step = Step::Read;
        } else if (pause_ < 0) {
            ++pause_;
            step = Step::Resume;
        }
    }
    switch (step) {
        case Step::Nothing:
            break;
        case Step::ConnectFailed:
        case Step::Connected:
            lifetimeRemove(chain_.lifetimeMonitor(), &connectTimerKey_);
            if (callbacks_.onConnect)
                callbacks_.onConnect(*this, step == Step::Connected);
            break;
        case Step::Disconnected:
            report(callbacks_.onDisconnect);
            break;
        case Step::Read:
            readAndDeliver(generation);
            break;
        case Step::Resume:
            deliver(generation);
            break;
    }
}

void AsyncSocket::readAndDeliver(uint64_t generation) {
    const int rounds = datagram_ ? kMaxDatagramsPerPass : 1;
    for (int round = 0; round < rounds; ++round) {
        bool closed = false;
        {
            std::lock_guard lock(mutex_);
            if (handle_ < 0 || generation != generation_ || pause_ > 0)
                return;
            // Make room: move the unconsumed bytes to the front, then grow when little is free.
            if (begin_ > 0) {
                std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
                end_ -= begin_;
                begin_ = 0;
            }
            if (buffer_.size() - end_ < kMinFreeSpace && buffer_.size() < maxBufferSize_)
                buffer_.resize(std::min(buffer_.size() + kBufferStep, maxBufferSize_));
            if (end_ == buffer_.size()) {
                // Full at the cap and nothing consumed: the peer sends more than the consumer
                // will ever take.
                pause_ = 1;
                closeLocked();
                closed = true;
            } else {
                sockaddr_in sender{};
                socklen_t length = sizeof sender;
                const ssize_t got =
                    ::recvfrom(handle_, buffer_.data() + end_, buffer_.size() - end_, 0,
                               reinterpret_cast<sockaddr*>(&sender), &length);
                if (got < 0 && wouldBlock(platform::lastSocketError()))
                    return;
                if (got == 0 && datagram_)
                    continue;  // an empty datagram carries nothing
                if (got <= 0) {
                    pause_ = 1;
                    closeLocked();
                    closed = true;
                } else {
                    if (datagram_) {
                        // Every datagram carries its own sender; one whose sender cannot be
                        // read is marked with address 0, never with the previous datagram's.
                        const bool readable = static_cast<size_t>(length) >= sizeof sender &&
                                              sender.sin_family == AF_INET;
                        remoteAddress_ = readable ? sender.sin_addr.s_addr : 0;
                        remotePort_ = readable ? ntohs(sender.sin_port) : 0;
                    }
                    end_ += static_cast<size_t>(got);
                }
            }
            if (closed) {
                buffer_.assign(initialBufferSize_, 0);
                buffer_.shrink_to_fit();
                begin_ = end_ = 0;
            }
        }
        if (closed) {
            report(callbacks_.onDisconnect);
            return;
        }
        deliver(generation);
    }
}

void AsyncSocket::deliver(uint64_t generation) {
    for (;;) {
        std::string_view offered;
        int pause = 0;
        {
            std::lock_guard lock(mutex_);
            if (handle_ < 0 || generation != generation_ || pause_ > 0 || begin_ == end_)
                return;
            offered = std::string_view(buffer_.data() + begin_, end_ - begin_);
            pause = pause_;
        }
        size_t consumed = 0;
        if (callbacks_.onData)
            callbacks_.onData(*this, offered, consumed, pause);
        else
            consumed = offered.size();
        std::lock_guard lock(mutex_);
        if (generation != generation_)
            return;
        pause_ = pause;
        begin_ += std::min(consumed, offered.size());
        if (begin_ == end_)
            begin_ = end_ = 0;
        if (consumed == 0)
            return;
    }
}

void AsyncSocket::destroy() {
    LifetimeMonitor& monitor = chain_.lifetimeMonitor();
    lifetimeRemove(monitor, &connectTimerKey_);
    lifetimeRemove(monitor, &closeTimerKey_);
    bool open = false;
    {
        std::lock_guard lock(mutex_);
        open = handle_ >= 0;
    }
    if (open)
        report(onInterrupt_);
    std::lock_guard lock(mutex_);
    closeLocked();
    buffer_.clear();
    buffer_.shrink_to_fit();
}

}  // namespace upnp
