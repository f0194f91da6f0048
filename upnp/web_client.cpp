#include "upnp/web_client.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <deque>

#include "upnp/lifetime_monitor.h"

namespace upnp {

struct WebClient::Request {
    uint64_t id = 0;
    std::string head;
    std::string body;
    bool headRequest = false;
    // Sent once more after its connection closed before any answer (GETs only).
    bool getRequest = false;
    bool resent = false;
    WebResponseCallback callback;
};

// One server's connection and queue. Fields other than `queue` are used on the chain thread
// only, except where the submitting functions read them under the client's lock.
struct ConnectionRecord {
    std::string key;
    uint32_t address = 0;  // network byte order
    uint16_t port = 0;
    int index = 0;
    int slot = -1;  // pool socket in use, -1 when none
    bool open = false;
    bool inBacklog = false;
    bool closingByClient = false;
    // Once the server closed the connection while requests waited, every response gets a
    // connection of its own.
    bool connectionPerResponse = false;
    bool responseInProgress = false;
    int retryCounter = 0;
    int pauseRequest = 0;
    // A byte arrived on the connection since the request in progress went out.
    bool answerStarted = false;
    // Names the response time-out among the client's timers (the record itself names the idle
    // and retry timers).
    const char responseTimerKey = 0;
    uint32_t localAddress = 0;
    std::deque<std::shared_ptr<WebClient::Request>> queue;
    HttpResponseReader reader;
};

namespace {

bool startsWithHead(std::string_view head) {
    return head.size() > 5 && equalsIgnoreAsciiCase(head.substr(0, 5), "HEAD ");
}

bool startsWithGet(std::string_view head) {
    return head.size() > 4 && equalsIgnoreAsciiCase(head.substr(0, 4), "GET ");
}

std::string takeBytes(SendBuffer& buffer) {
    return std::string(buffer.bytes());
}

}  // namespace

std::string connectionKey(uint32_t address, uint16_t port, int index) {
    char dotted[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = address;
    ::inet_ntop(AF_INET, &in, dotted, sizeof dotted);
    char key[48];
    std::snprintf(key, sizeof key, "%s:%d:%d", dotted, static_cast<int>(port), index);
    return key;
}

WebClient::WebClient(Chain& chain) : chain_(chain) {}

WebClient::~WebClient() = default;

WebClient& createWebClient(Chain& chain, int poolSize) {
    WebClient& client = addToChain(chain, std::make_unique<WebClient>(chain));
    const size_t count = static_cast<size_t>(std::max(poolSize, 1));
    std::lock_guard lock(client.mutex_);
    for (size_t slot = 0; slot < count; ++slot) {
        std::weak_ptr<bool> alive = client.alive_;
        WebClient* self = &client;
        AsyncSocket::Callbacks callbacks;
        callbacks.onConnect = [self, alive, slot](AsyncSocket&, bool success) {
            if (auto live = alive.lock(); live && *live)
                self->onConnect(slot, success);
        };
        callbacks.onData = [self, alive, slot](AsyncSocket&, std::string_view bytes,
                                               size_t& consumed, int& pause) {
            if (auto live = alive.lock(); live && *live)
                self->onData(slot, bytes, consumed, pause);
            else
                consumed = bytes.size();
        };
        callbacks.onDisconnect = [self, alive, slot](AsyncSocket&) {
            if (auto live = alive.lock(); live && *live)
                self->onDisconnect(slot);
        };
        AsyncSocket& socket =
            createAsyncSocket(chain, WebClient::kInitialBufferSize, std::move(callbacks));
        // A head of up to 16 KiB must fit next to the bytes that arrived with it.
        socket.setMaxBufferSize(std::max<size_t>(AsyncSocket::kDefaultMaxBufferSize,
                                                 2 * HttpResponseReader::kMaxHeadLength));
        client.pool_.push_back(&socket);
        client.slotOwners_.push_back(nullptr);
    }
    return client;
}

size_t WebClient::connectionCount() {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

size_t WebClient::parkedCount() {
    std::lock_guard lock(mutex_);
    return parkedCount_;
}

size_t WebClient::backlogCount() {
    std::lock_guard lock(mutex_);
    return backlog_.size();
}

uint64_t WebClient::connectsStarted() {
    std::lock_guard lock(mutex_);
    return connectsStarted_;
}

void WebClient::addToBacklogLocked(const RecordPtr& record) {
    if (record->inBacklog || record->slot >= 0)
        return;
    record->inBacklog = true;
    backlog_.addTail(record);
}

void WebClient::forgetRecordLocked(const RecordPtr& record) {
    if (parked_.remove(record->key) && parkedCount_ > 0)
        --parkedCount_;
    connections_.remove(record->key);
    if (record->inBacklog) {
        backlog_.removeAll(record);
        record->inBacklog = false;
    }
}

RequestToken webRequest(WebClient& client, uint32_t address, uint16_t port, SendBuffer head,
                        SendBuffer body, WebResponseCallback callback) {
    auto request = std::make_shared<WebClient::Request>();
    request->head = takeBytes(head);
    request->body = takeBytes(body);
    request->headRequest = startsWithHead(request->head);
    request->getRequest = startsWithGet(request->head);
    request->callback = std::move(callback);
    const std::string key = connectionKey(address, port, 0);

    bool wake = false;
    bool sendNow = false;
    WebClient::RecordPtr record;
    {
        std::lock_guard lock(client.mutex_);
        request->id = client.nextRequestId_++;
        if (WebClient::RecordPtr* found = client.connections_.get(key)) {
            record = *found;
            const bool wasEmpty = record->queue.empty();
            record->queue.push_back(request);
            if (wasEmpty) {
                if (client.parked_.remove(key) && client.parkedCount_ > 0)
                    --client.parkedCount_;
                lifetimeRemove(client.chain_.lifetimeMonitor(), record.get());
                // A connection we are closing is replaced once its close has been reported.
                if (record->slot >= 0 && record->open && !record->closingByClient &&
                    !record->responseInProgress) {
                    sendNow = true;
                    record->responseInProgress = true;
                } else if (record->slot < 0) {
                    client.addToBacklogLocked(record);
                    wake = true;
                }
            }
        } else {
            record = std::make_shared<ConnectionRecord>();
            record->key = key;
            record->address = address;
            record->port = port;
            record->reader.setBodyLimit(client.bodyLimit_);
            record->queue.push_back(request);
            client.connections_.add(key, record);
            client.addToBacklogLocked(record);
            wake = true;
        }
    }
    if (sendNow)
        client.sendFront(record);
    if (wake)
        unblockChain(client.chain_);
    return RequestToken{&client, request->id};
}

RequestToken webRequestPacket(WebClient& client, uint32_t address, uint16_t port,
                              std::unique_ptr<HttpPacket> packet, WebResponseCallback callback) {
    std::string text = packet ? packetToString(*packet) : std::string();
    packet.reset();
    return webRequest(client, address, port, SendBuffer::owned(std::move(text)),
                      SendBuffer::owned({}), std::move(callback));
}

void WebClient::preSelect(SocketSets&, int&) {
    struct Start {
        AsyncSocket* socket;
        uint32_t address;
        uint16_t port;
    };
    std::vector<Start> starts;
    {
        std::lock_guard lock(mutex_);
        for (size_t slot = 0; slot < pool_.size() && !backlog_.isEmpty(); ++slot) {
            if (slotOwners_[slot] || !pool_[slot]->isFree())
                continue;
            RecordPtr record = takeStartableLocked();
            if (!record)
                break;
            record->inBacklog = false;
            record->slot = static_cast<int>(slot);
            record->open = false;
            slotOwners_[slot] = record;
            ++connectsStarted_;
            starts.push_back(Start{pool_[slot], record->address, record->port});
        }
    }
    for (const Start& start : starts)
        connectSocket(*start.socket, 0, start.address, start.port);
}

// The first record of the backlog whose address holds fewer than its share of pool sockets;
// the others keep their places.
WebClient::RecordPtr WebClient::takeStartableLocked() {
    for (auto node = backlog_.first(); node != backlog_.end(); node = backlog_.next(node)) {
        const RecordPtr& candidate = LinkedList<RecordPtr>::data(node);
        const auto held = std::count_if(
            slotOwners_.begin(), slotOwners_.end(),
            [&](const auto& owner) { return owner && owner->address == candidate->address; });
        if (held >= kMaxConnectionsPerAddress)
            continue;
        RecordPtr record = candidate;
        backlog_.remove(node);
        return record;
    }
    return nullptr;
}

WebClient::RecordPtr WebClient::slotOwner(size_t slot) {
    std::lock_guard lock(mutex_);
    return slot < slotOwners_.size() ? slotOwners_[slot] : nullptr;
}

void WebClient::sendFront(const RecordPtr& record) {
    AsyncSocket* socket = nullptr;
    std::shared_ptr<Request> request;
    {
        std::lock_guard lock(mutex_);
        if (record->queue.empty() || record->slot < 0)
            return;
        request = record->queue.front();
        socket = pool_[static_cast<size_t>(record->slot)];
        record->responseInProgress = true;
        record->answerStarted = false;
        record->reader.start(request->headRequest, record->address, record->port,
                             record->localAddress);
    }
    startResponseTimer(record, kResponseHeadTimeoutMs);
    // Copies: the request keeps its own bytes to send them again on a new connection.
    (void)sendOnSocket(*socket, SendBuffer::copied(request->head));
    if (!request->body.empty())
        (void)sendOnSocket(*socket, SendBuffer::copied(request->body));
}

void WebClient::onConnect(size_t slot, bool success) {
    RecordPtr record = slotOwner(slot);
    if (!record)
        return;
    if (success) {
        bool idle = false;
        {
            std::lock_guard lock(mutex_);
            record->open = true;
            record->retryCounter = 1;
            record->localAddress = pool_[slot]->localAddress();
            idle = record->queue.empty();
        }
        if (idle)
            lifetimeAdd(chain_.lifetimeMonitor(), record.get(), kIdleTimeoutMs,
                        [this, record] { idleTimeout(record); });
        else
            sendFront(record);
        return;
    }
    std::vector<std::shared_ptr<Request>> failed;
    {
        std::lock_guard lock(mutex_);
        slotOwners_[slot] = nullptr;
        record->slot = -1;
        record->open = false;
        record->responseInProgress = false;
        record->connectionPerResponse = false;
        if (record->retryCounter >= kGiveUpRetryCounter || record->queue.empty()) {
            forgetRecordLocked(record);
            failed.assign(record->queue.begin(), record->queue.end());
            record->queue.clear();
        }
    }
    if (failed.empty()) {
        std::lock_guard lock(mutex_);
        if (connections_.has(record->key)) {
            const int64_t delay = static_cast<int64_t>(record->retryCounter) * 1000;
            lifetimeAdd(chain_.lifetimeMonitor(), record.get(), delay,
                        [this, record] { retryLater(record); });
        }
    }
    for (const auto& request : failed) {
        size_t consumed = 0;
        int pause = 0;
        request->callback(record.get(), kWebInterruptConnectFailed, nullptr, {}, consumed, true,
                          pause);
    }
}

void WebClient::retryLater(const RecordPtr& record) {
    std::lock_guard lock(mutex_);
    if (!connections_.has(record->key))
        return;
    if (record->queue.empty()) {
        // Every request was cancelled while the connect waited for its retry.
        if (record->slot < 0)
            parkLocked(record);
        return;
    }
    record->retryCounter = record->retryCounter == 0 ? 1 : record->retryCounter * 2;
    addToBacklogLocked(record);
}

void WebClient::startResponseTimer(const RecordPtr& record, int64_t ms) {
    uint64_t requestId = 0;
    {
        std::lock_guard lock(mutex_);
        if (record->queue.empty())
            return;
        requestId = record->queue.front()->id;
    }
    LifetimeMonitor& monitor = chain_.lifetimeMonitor();
    lifetimeRemove(monitor, &record->responseTimerKey);
    lifetimeAdd(monitor, &record->responseTimerKey, ms,
                [this, record, requestId] { responseTimedOut(record, requestId); });
}

void WebClient::stopResponseTimer(const RecordPtr& record) {
    lifetimeRemove(chain_.lifetimeMonitor(), &record->responseTimerKey);
}

// A server that accepts and then says nothing (or stops in the middle of a body) must not hold
// the request, its connection and its pool socket for ever: the request fails as if the
// connection had been lost.
void WebClient::responseTimedOut(const RecordPtr& record, uint64_t requestId) {
    {
        std::lock_guard lock(mutex_);
        if (record->queue.empty() || record->queue.front()->id != requestId ||
            !record->responseInProgress)
            return;
        // Marked first, so that a request the callback makes is not sent on this connection.
        record->closingByClient = record->slot >= 0;
    }
    failFront(record);
    closeRecordSocket(record);
}

void WebClient::onData(size_t slot, std::string_view bytes, size_t& consumed, int& pause) {
    RecordPtr record = slotOwner(slot);
    std::shared_ptr<Request> request;
    {
        std::lock_guard lock(mutex_);
        if (record && !record->queue.empty() && record->responseInProgress)
            request = record->queue.front();
    }
    if (!request) {
        consumed = bytes.size();
        return;
    }
    record->answerStarted = true;
    auto deliver = [&](const HttpPacket* head, std::string_view body, size_t& used, bool done) {
        record->pauseRequest = 0;
        request->callback(record.get(), kWebInterruptNone, head, body, used, done,
                          record->pauseRequest);
        pause = record->pauseRequest;
    };
    switch (record->reader.feed(bytes, consumed, deliver)) {
        case HttpResponseReader::Status::NeedMore:
            // The head has its deadline; a body only has to keep coming.
            if (record->reader.headParsed())
                startResponseTimer(record, kResponseIdleTimeoutMs);
            return;
        case HttpResponseReader::Status::Finished:
            finishRequest(record);
            return;
        case HttpResponseReader::Status::Failed:
            consumed = bytes.size();
            failFront(record);
            closeRecordSocket(record);
            return;
    }
}

void WebClient::failFront(const RecordPtr& record) {
    std::shared_ptr<Request> request;
    {
        std::lock_guard lock(mutex_);
        record->reader.reset();
        record->responseInProgress = false;
        if (record->queue.empty())
            return;
        request = record->queue.front();
        record->queue.pop_front();
    }
    lifetimeRemove(chain_.lifetimeMonitor(), record.get());
    stopResponseTimer(record);
    size_t consumed = 0;
    int pause = 0;
    request->callback(record.get(), kWebInterruptNone, nullptr, {}, consumed, true, pause);
}

void WebClient::closeRecordSocket(const RecordPtr& record) {
    AsyncSocket* socket = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (record->slot < 0)
            return;
        socket = pool_[static_cast<size_t>(record->slot)];
        record->closingByClient = true;
    }
    disconnectSocket(*socket);
}

void WebClient::finishRequest(const RecordPtr& record) {
    bool sendNext = false;
    bool closeNow = false;
    bool idle = false;
    bool othersWaiting = false;
    {
        std::lock_guard lock(mutex_);
        record->reader.reset();
        record->responseInProgress = false;
        if (!record->queue.empty())
            record->queue.pop_front();
        if (record->slot >= 0 && record->open) {
            if (!record->queue.empty()) {
                if (record->connectionPerResponse)
                    closeNow = true;
                else
                    sendNext = true;
            } else {
                idle = !chain_.isEnding();
                othersWaiting = !backlog_.isEmpty();
            }
        }
    }
    lifetimeRemove(chain_.lifetimeMonitor(), record.get());
    stopResponseTimer(record);
    if (sendNext)
        sendFront(record);
    if (closeNow)
        closeRecordSocket(record);
    // An idle connection gives its slot up at once while other servers wait for one: keeping
    // it for the idle time would let a burst of new devices trickle in five per idle period.
    if (idle)
        lifetimeAdd(chain_.lifetimeMonitor(), record.get(), othersWaiting ? 0 : kIdleTimeoutMs,
                    [this, record] { idleTimeout(record); });
}

void WebClient::parkLocked(const RecordPtr& record) {
    if (parked_.has(record->key))
        return;
    // Evict the oldest parked record so that neither table grows past the limit.
    while (parkedCount_ >= kMaxParked && !parked_.empty()) {
        RecordPtr oldest = parked_.begin()->value;
        parked_.remove(oldest->key);
        --parkedCount_;
        connections_.remove(oldest->key);
    }
    parked_.add(record->key, record);
    ++parkedCount_;
}

void WebClient::idleTimeout(const RecordPtr& record) {
    {
        std::lock_guard lock(mutex_);
        if (!record->queue.empty() || !connections_.has(record->key))
            return;
    }
    closeRecordSocket(record);
    std::lock_guard lock(mutex_);
    if (record->queue.empty() && record->slot < 0 && connections_.has(record->key))
        parkLocked(record);
}

void WebClient::onDisconnect(size_t slot) {
    RecordPtr record = slotOwner(slot);
    if (!record)
        return;
    bool byClient = false;
    {
        std::lock_guard lock(mutex_);
        slotOwners_[slot] = nullptr;
        record->slot = -1;
        record->open = false;
        byClient = std::exchange(record->closingByClient, false);
    }
    stopResponseTimer(record);
    bool inProgress = false;
    {
        std::lock_guard lock(mutex_);
        inProgress = record->responseInProgress && !record->queue.empty();
        // Closed before a byte of the answer: most likely a kept-alive connection the server
        // was closing as the request went out. A GET is safe to send again, once.
        if (inProgress && !record->answerStarted && !byClient &&
            record->queue.front()->getRequest && !record->queue.front()->resent) {
            record->queue.front()->resent = true;
            inProgress = false;
        }
    }
    if (inProgress) {
        std::shared_ptr<Request> request;
        {
            std::lock_guard lock(mutex_);
            request = record->queue.front();
        }
        auto deliver = [&](const HttpPacket* head, std::string_view body, size_t& used, bool done) {
            int pause = 0;
            request->callback(record.get(), kWebInterruptNone, head, body, used, done, pause);
        };
        if (record->reader.finishOnClose(deliver)) {
            std::lock_guard lock(mutex_);
            record->responseInProgress = false;
            if (!record->queue.empty())
                record->queue.pop_front();
        } else {
            failFront(record);
        }
    }
    bool requeue = false;
    {
        std::lock_guard lock(mutex_);
        record->responseInProgress = false;
        record->reader.reset();
        if (!record->queue.empty() && connections_.has(record->key)) {
            if (!byClient)
                record->connectionPerResponse = true;
            addToBacklogLocked(record);
            requeue = true;
        } else if (record->queue.empty() && connections_.has(record->key)) {
            // Failed and cancelled connections are kept like finished ones: parked, within the
            // parked bound, never left in the table for good.
            parkLocked(record);
        }
    }
    if (requeue)
        unblockChain(chain_);
}

void cancelRequest(RequestToken token) {
    if (!token)
        return;
    WebClient* client = token.client;
    const uint64_t id = token.id;
    lifetimeAdd(client->chain_.lifetimeMonitor(), &client->cancelKey_, 0,
                [client, id] { client->cancelNow(id); });
}

void WebClient::cancelNow(uint64_t id) {
    RecordPtr record;
    bool wasInProgress = false;
    {
        std::lock_guard lock(mutex_);
        for (auto& entry : connections_) {
            auto& queue = entry.value->queue;
            auto found = std::find_if(queue.begin(), queue.end(),
                                      [id](const auto& request) { return request->id == id; });
            if (found == queue.end())
                continue;
            record = entry.value;
            wasInProgress = found == queue.begin() && record->responseInProgress;
            queue.erase(found);
            break;
        }
        if (!record)
            return;
        if (wasInProgress) {
            record->responseInProgress = false;
            record->reader.reset();
        }
    }
    lifetimeRemove(chain_.lifetimeMonitor(), record.get());
    if (wasInProgress) {
        stopResponseTimer(record);
        // The answer may still arrive: only a new connection is clean for the next request.
        closeRecordSocket(record);
        std::lock_guard lock(mutex_);
        if (!record->queue.empty())
            addToBacklogLocked(record);
    } else {
        std::lock_guard lock(mutex_);
        if (record->queue.empty() && record->slot >= 0 && record->open)
            lifetimeAdd(chain_.lifetimeMonitor(), record.get(), kIdleTimeoutMs,
                        [this, record] { idleTimeout(record); });
        else if (record->queue.empty() && record->slot < 0 && connections_.has(record->key))
            parkLocked(record);
    }
}

void resumeConnection(WebClient& client, ConnectionRecord& connection) {
    AsyncSocket* socket = nullptr;
    {
        std::lock_guard lock(client.mutex_);
        connection.pauseRequest = 0;
        if (connection.slot >= 0 && static_cast<size_t>(connection.slot) < client.pool_.size())
            socket = client.pool_[static_cast<size_t>(connection.slot)];
    }
    if (socket)
        resumeSocket(*socket);
}

void deleteRequests(WebClient& client, std::string_view address, uint16_t port) {
    in_addr parsed{};
    const std::string dotted(address);
    if (::inet_pton(AF_INET, dotted.c_str(), &parsed) != 1)
        return;
    const std::string key = connectionKey(parsed.s_addr, port, 0);
    WebClient::RecordPtr record;
    std::deque<std::shared_ptr<WebClient::Request>> dropped;
    AsyncSocket* socket = nullptr;
    {
        std::lock_guard lock(client.mutex_);
        WebClient::RecordPtr* found = client.connections_.get(key);
        if (!found)
            return;
        record = *found;
        if (record->inBacklog) {
            client.backlog_.removeAll(record);
            record->inBacklog = false;
        }
        dropped.swap(record->queue);
        record->responseInProgress = false;
        if (record->slot >= 0) {
            socket = client.pool_[static_cast<size_t>(record->slot)];
            record->closingByClient = true;
        }
        // Kept for a later request to the same server, but only among the bounded parked ones.
        client.parkLocked(record);
    }
    lifetimeRemove(client.chain_.lifetimeMonitor(), record.get());
    client.stopResponseTimer(record);
    if (socket)
        disconnectSocket(*socket);
    for (const auto& request : dropped) {
        size_t consumed = 0;
        int pause = 0;
        request->callback(nullptr, kWebInterruptDeleted, nullptr, {}, consumed, true, pause);
    }
}

void WebClient::destroy() {
    *alive_ = false;
    std::vector<RecordPtr> records;
    std::vector<AsyncSocket*> sockets;
    {
        std::lock_guard lock(mutex_);
        for (auto& entry : connections_)
            records.push_back(entry.value);
        connections_.clear();
        parked_.clear();
        parkedCount_ = 0;
        backlog_.clear();
        sockets = pool_;
        pool_.clear();
        slotOwners_.clear();
    }
    LifetimeMonitor& monitor = chain_.lifetimeMonitor();
    lifetimeRemove(monitor, &cancelKey_);
    for (const RecordPtr& record : records) {
        lifetimeRemove(monitor, record.get());
        lifetimeRemove(monitor, &record->responseTimerKey);
        std::deque<std::shared_ptr<Request>> queue;
        {
            std::lock_guard lock(mutex_);
            queue.swap(record->queue);
        }
        for (const auto& request : queue) {
            size_t consumed = 0;
            int pause = 0;
            request->callback(record.get(), kWebInterruptConnectFailed, nullptr, {}, consumed, true,
                              pause);
        }
    }
    // Ending with the chain, the chain destroys the sockets itself; otherwise they go with us.
    if (!chain_.isEnding()) {
        for (AsyncSocket* socket : sockets)
            removeFromChain(chain_, *socket);
    }
}

}  // namespace upnp
