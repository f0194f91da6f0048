#include "upnp/web_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <limits>

#include "upnp/text_parsing.h"
#include "upnp/uri.h"

namespace upnp {
namespace {

constexpr std::string_view kEndOfHead = "\r\n\r\n";
constexpr std::string_view kLineEnd = "\r\n";
// A chunk size line or trailer line longer than this is not HTTP.
constexpr size_t kMaxChunkLine = 1024;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// "1.1" and "2.0" are above 1.0; "1.0" and "0.9" are not.
bool versionAbove10(std::string_view version) {
    const ParseResult parts = parseString(version, ".");
    const int major = parseDecimal(parts[0]);
    const int minor = parts.count() > 1 ? parseDecimal(parts[1]) : 0;
    return major > 1 || (major == 1 && minor > 0);
}

// A chunk size: hexadecimal digits only, before any ";" extension; nullopt when empty, not
// hexadecimal, or too large for size_t.
std::optional<size_t> parseChunkSize(std::string_view line) {
    const std::string_view digits = trimWhitespace(parseString(line, ";").first());
    if (digits.empty())
        return std::nullopt;
    size_t size = 0;
    for (char c : digits) {
        int value;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (lower(c) >= 'a' && lower(c) <= 'f')
            value = lower(c) - 'a' + 10;
        else
            return std::nullopt;
        if (size > (std::numeric_limits<size_t>::max() >> 4))
            return std::nullopt;
        size = size * 16 + static_cast<size_t>(value);
    }
    return size;
}

struct LocalEnd {
    uint32_t address = 0;  // network byte order
    uint16_t port = 0;
};

LocalEnd localEndOf(const AsyncSocket& socket) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (socket.handle() < 0 ||
        ::getsockname(socket.handle(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return {};
    return {local.sin_addr.s_addr, ntohs(local.sin_port)};
}

// GET http://<this server's address>:<port>/path HTTP/1.1 → GET /path
void reduceOwnAbsoluteTarget(HttpPacket& request, const LocalEnd& local) {
    constexpr std::string_view kScheme = "http://";
    if (request.uri.size() < kScheme.size() ||
        !equalsIgnoringCase(std::string_view(request.uri).substr(0, kScheme.size()), kScheme))
        return;
    const Uri target = parseUri(request.uri);
    in_addr host{};
    if (target.host.find('\0') != std::string::npos ||
        ::inet_pton(AF_INET, target.host.c_str(), &host) != 1 || host.s_addr != local.address ||
        target.port != local.port)
        return;
    request.fullUri = request.uri;
    request.uri = target.path.empty() ? "/" : target.path;
}

}  // namespace

// ---- WebSession ----

void WebSession::receive(std::string_view bytes, size_t& consumed, int& pause) {
    if (awaitingResponse_ || closePending_) {
        pause = 1;  // the next request waits until this response is finished
        return;
    }
    size_t used = 0;
    if (request_)
        startTimer(kWebSessionStallMs);  // more of a body
    if (!request_) {
        const std::string_view window = bytes.substr(0, kMaxRequestHead);
        const size_t end = window.find(kEndOfHead);
        if (end == std::string_view::npos) {
            if (bytes.size() >= kMaxRequestHead)
                disconnectSocket(socket_);  // a head without end
            return;
        }
        request_ = parsePacketHeader(bytes.substr(0, end + kEndOfHead.size()));
        if (!request_ || !request_->isRequest()) {
            request_.reset();
            disconnectSocket(socket_);
            return;
        }
        // The first delivery of a request: the connection is in use, but may not stall.
        startTimer(kWebSessionStallMs);
        const LocalEnd local = localEndOf(socket_);
        request_->localAddress = local.address;
        request_->remoteAddress = socket_.remoteAddress();
        request_->remotePort = socket_.remotePort();
        reduceOwnAbsoluteTarget(*request_, local);
        used = end + kEndOfHead.size();

        const auto coding = request_->getHeaderValue("transfer-encoding");
        const auto length = request_->getHeaderValue("content-length");
        if (coding && equalsIgnoringCase(trimWhitespace(*coding), "chunked")) {
            framing_ = Body::Chunked;
            chunkState_ = Chunk::SizeLine;
        } else if (length) {
            const std::string_view digits = trimWhitespace(*length);
            // parseDecimal gives 0 for a value beyond int: such a length is refused, not read
            // as an empty body.
            const int declared = parseDecimal(digits);
            if ((declared == 0 && digits.find_first_not_of('0') != std::string_view::npos) ||
                static_cast<size_t>(declared) > kMaxRequestBody) {
                consumed = used;
                disconnectSocket(socket_);
                return;
            }
            framing_ = declared > 0 ? Body::Length : Body::None;
            remaining_ = static_cast<size_t>(declared);
        } else {
            framing_ = Body::None;  // a request without a length has no body
        }
    }

    bool complete = framing_ == Body::None;
    if (framing_ == Body::Length) {
        const size_t take = std::min(remaining_, bytes.size() - used);
        body_.append(bytes.substr(used, take));
        used += take;
        remaining_ -= take;
        complete = remaining_ == 0;
    } else if (framing_ == Body::Chunked) {
        size_t chunkUsed = 0;
        if (!readChunked(bytes.substr(used), chunkUsed, complete)) {
            consumed = used + chunkUsed;
            disconnectSocket(socket_);
            return;
        }
        used += chunkUsed;
    }
    consumed = used;
    if (complete)
        requestComplete(pause);
}

bool WebSession::readChunked(std::string_view bytes, size_t& consumed, bool& complete) {
    size_t at = 0;
    for (;;) {
        const std::string_view rest = bytes.substr(at);
        switch (chunkState_) {
            case Chunk::SizeLine:
            case Chunk::Trailer: {
                const size_t end = rest.find(kLineEnd);
                if (end == std::string_view::npos) {
                    consumed = at;
                    return rest.size() <= kMaxChunkLine;
                }
                if (end > kMaxChunkLine)
                    return false;
                const std::string_view line = rest.substr(0, end);
                at += end + kLineEnd.size();
                if (chunkState_ == Chunk::Trailer) {
                    if (line.empty()) {
                        consumed = at;
                        complete = true;
                        return true;
                    }
                    continue;  // a trailer header: skipped
                }
                const std::optional<size_t> size = parseChunkSize(line);
                if (!size || *size > kMaxRequestBody - body_.size())
                    return false;
                remaining_ = *size;
                chunkState_ = *size == 0 ? Chunk::Trailer : Chunk::Data;
                break;
            }
            case Chunk::Data: {
                const size_t take = std::min(remaining_, rest.size());
                body_.append(rest.substr(0, take));
                at += take;
                remaining_ -= take;
                if (remaining_ > 0) {
                    consumed = at;
                    return true;
                }
                chunkState_ = Chunk::DataEnd;
                break;
            }
            case Chunk::DataEnd:
                if (rest.size() < kLineEnd.size()) {
                    consumed = at;
                    return true;
                }
                if (rest.substr(0, kLineEnd.size()) != kLineEnd)
                    return false;
                at += kLineEnd.size();
                chunkState_ = Chunk::SizeLine;
                break;
        }
    }
}

void WebSession::requestComplete(int& pause) {
    // The request leaves the reader before anyone answers it: a response finished inside the
    // handler resets the reader while the handler still reads the request.
    const std::unique_ptr<HttpPacket> request = std::move(request_);
    const std::string body = std::move(body_);
    resetReader();
    const auto connection = request->getHeaderValue("connection");
    keepAfterResponse_ = request->version.size() == 3 && request->version != "1.0" &&
                         !(connection && equalsIgnoringCase(*connection, "close"));
    awaitingResponse_ = true;
    responseDone_ = false;
    if (versionAbove10(request->version) && !request->getHeaderValue("host")) {
        (void)sendWebResponse(*this, SendBuffer::borrowed(kMissingHostResponse), true);
    } else if (onRequest_) {
        onRequest_(*this, *request, body);
    }
    // No further request is read until the response is finished.
    if (!responseDone_ && !closed_)
        pause = 1;
}

void WebSession::responseFinished() {
    responseDone_ = true;
    awaitingResponse_ = false;
    if (!keepAfterResponse_) {
        // Closed by the server's next pass, once the response has gone out.
        closePending_ = true;
        unblockChain(server_.chain_);
        return;
    }
    resetReader();
    startIdleTimer();
    resumeSocket(socket_);
}

void WebSession::resetReader() {
    request_.reset();
    body_.clear();
    framing_ = Body::None;
    remaining_ = 0;
    chunkState_ = Chunk::SizeLine;
}

void WebSession::startIdleTimer() {
    startTimer(kWebSessionIdleMs);
}

void WebSession::startTimer(int64_t ms) {
    lifetimeRemove(server_.monitor_, this);
    AsyncSocket& socket = socket_;
    lifetimeAdd(server_.monitor_, this, ms, [&socket] { disconnectSocket(socket); });
}

void WebSession::markClosed() {
    closed_ = true;
    closePending_ = false;
    request_.reset();
    body_.clear();
}

int sendWebResponse(WebSession& session, SendBuffer buffer, bool lastPart) {
    if (session.closed_ || session.closePending_)
        return kWebSessionClosed;  // an owned buffer goes with `buffer`
    const int result = sendOnSocket(session.socket_, std::move(buffer));
    if (lastPart && result != kSendClosed)
        session.responseFinished();
    else if (result != kSendClosed)
        session.startTimer(kWebSessionStallMs);  // an answer on its way
    return result;
}

// ---- WebServer ----

WebServer::WebServer(Chain& chain, LifetimeMonitor& monitor, SessionHandler handler)
    : chain_(chain), monitor_(monitor), handler_(std::move(handler)) {}

size_t WebServer::openSessions() const {
    size_t open = 0;
    for (const auto& session : sessions_)
        open += session ? 1 : 0;
    return open;
}

std::shared_ptr<WebSession> WebServer::sessionOf(const AsyncSocket& socket) const {
    const size_t index = socket_ ? socket_->sessionIndex(socket) : sessions_.size();
    return index < sessions_.size() ? sessions_[index] : nullptr;
}

void WebServer::onReceive(AsyncSocket& socket, std::string_view bytes, size_t& consumed,
                          int& pause) {
    // Held for the call: a close inside it would otherwise free the session.
    if (const std::shared_ptr<WebSession> session = sessionOf(socket))
        session->receive(bytes, consumed, pause);
    else
        consumed = bytes.size();
}

void WebServer::onConnect(AsyncSocket& socket) {
    const size_t index = socket_->sessionIndex(socket);
    if (index >= sessions_.size())
        return;
    auto session = std::make_shared<WebSession>(*this, socket);
    sessions_[index] = session;
    session->startIdleTimer();
    if (handler_)
        handler_(session);
}

void WebServer::onDisconnect(AsyncSocket& socket) {
    const size_t index = socket_ ? socket_->sessionIndex(socket) : sessions_.size();
    if (index >= sessions_.size() || !sessions_[index])
        return;
    // The server's reference goes last, after the upper layer heard of the end.
    const std::shared_ptr<WebSession> session = std::move(sessions_[index]);
    if (!chain_.isEnding())
        lifetimeRemove(monitor_, session.get());
    session->markClosed();
    if (session->onDisconnect_)
        session->onDisconnect_(*session);
}

void WebServer::onInterrupt(AsyncSocket& socket) {
    const size_t index = socket_ ? socket_->sessionIndex(socket) : sessions_.size();
    if (index >= sessions_.size() || !sessions_[index])
        return;
    sessions_[index]->markClosed();
    sessions_[index].reset();
}

void WebServer::preSelect(SocketSets&, int&) {
    for (const auto& session : sessions_) {
        // A response still queued goes out first; its send completion wakes the next pass.
        if (session && session->closePending_ && session->socket_.pendingBytes() == 0)
            disconnectSocket(session->socket_);
    }
}

void WebServer::destroy() {
    for (auto& session : sessions_) {
        if (session)
            session->markClosed();
        session.reset();
    }
    socket_ = nullptr;
}

WebServer& createWebServer(Chain& chain, size_t maxSessions, uint16_t port,
                           WebServer::SessionHandler handler) {
    LifetimeMonitor& monitor = createLifetimeMonitor(chain);
    auto owned = std::make_unique<WebServer>(chain, monitor, std::move(handler));
    WebServer& server = *owned;
    server.sessions_.resize(maxSessions);
    AsyncServerSocket::Callbacks callbacks{
        .onConnect = [&server](AsyncServerSocket&, AsyncSocket& s) { server.onConnect(s); },
        .onDisconnect = [&server](AsyncServerSocket&, AsyncSocket& s) { server.onDisconnect(s); },
        .onReceive = [&server](AsyncServerSocket&, AsyncSocket& s, std::string_view bytes,
                               size_t& consumed,
                               int& pause) { server.onReceive(s, bytes, consumed, pause); },
        // The chain ends with the connection open: the session is closed with it, without
        // calling into an upper layer that may already be gone.
        .onInterrupt = [&server](AsyncServerSocket&, AsyncSocket& s) { server.onInterrupt(s); },
        .onSendOK = {},
    };
    server.socket_ =
        &createAsyncServerSocket(chain, maxSessions, port, kWebServerReceiveBuffer, callbacks);
    addToChain(chain, std::move(owned));
    return server;
}

}  // namespace upnp
