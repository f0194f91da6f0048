#include "tools/nas-sim/http_server.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "tools/nas-sim/net.h"

namespace nassim {

namespace {

constexpr auto kIdleTimeout = std::chrono::seconds(15);
// After our last byte, wait this long for the client's close: closing with unread input would
// reset the connection and could destroy the end of a close-delimited body.
constexpr auto kDrainTimeout = std::chrono::seconds(2);
// Longer than any run of the simulator.
constexpr auto kHoldLimit = std::chrono::seconds(kMaxDurationSeconds + 60);
constexpr size_t kMaxConnections = 1024;
// Stop reading pipelined requests while this much output waits.
constexpr size_t kMaxPendingOutput = 1 << 20;

}  // namespace

HttpServer::HttpServer(std::vector<SimDevice>& devices, HttpSite& site, LogLine log)
    : devices_(devices), site_(site), log_(std::move(log)), listeners_(devices.size()) {}

bool HttpServer::listen(size_t index, std::string& error) {
    const SimDevice& device = devices_.at(index);
    UniqueFd fd = openHttpListener(device.address, device.httpPort, error);
    if (!fd.valid())
        return false;
    listeners_[index] = std::move(fd);
    return true;
}

void HttpServer::collect(std::vector<pollfd>& fds) {
    collectedListeners_.clear();
    for (size_t i = 0; i < listeners_.size(); ++i) {
        if (listeners_[i].valid()) {
            fds.push_back({listeners_[i].get(), POLLIN, 0});
            collectedListeners_.push_back(i);
        }
    }
    for (const auto& connection : connections_) {
        short events = 0;
        if (!connection->peerClosed &&
            connection->output.size() - connection->sent < kMaxPendingOutput)
            events |= POLLIN;
        if (connection->sent < connection->output.size())
            events |= POLLOUT;
        fds.push_back({connection->fd.get(), events, 0});
    }
    collectedConnections_ = connections_.size();
}

void HttpServer::handle(const pollfd* fds, Clock::time_point now) {
    const size_t listenerCount = collectedListeners_.size();
    // Connections first: accepting appends to the list this loop walks.
    for (size_t i = 0; i < collectedConnections_; ++i) {
        Connection& connection = *connections_[i];
        const short revents = fds[listenerCount + i].revents;
        if (revents & (POLLIN | POLLHUP | POLLERR))
            readFrom(connection, now);
        if (!connection.done && (revents & POLLOUT))
            writeTo(connection, now);
        if (!connection.done && now >= connection.deadline)
            connection.done = true;
    }
    for (size_t i = 0; i < listenerCount; ++i) {
        if (fds[i].revents & POLLIN)
            accept(collectedListeners_[i], now);
    }
    std::erase_if(connections_, [](const auto& connection) { return connection->done; });
}

std::optional<Clock::time_point> HttpServer::nextDeadline() const {
    std::optional<Clock::time_point> earliest;
    for (const auto& connection : connections_) {
        if (!earliest || connection->deadline < *earliest)
            earliest = connection->deadline;
    }
    return earliest;
}

void HttpServer::accept(size_t index, Clock::time_point now) {
    // Take what is queued now; the listener stays readable if more arrive.
    for (int round = 0; round < 64; ++round) {
        UniqueFd fd(
            ::accept4(listeners_[index].get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.valid())
            return;
        if (connections_.size() >= kMaxConnections) {
            log_("http " + std::to_string(devices_[index].number) +
                 " refused: too many connections");
            continue;  // closing it is the answer
        }
        auto connection = std::make_unique<Connection>();
        connection->fd = std::move(fd);
        connection->device = index;
        connection->deadline = now + kIdleTimeout;
        connections_.push_back(std::move(connection));
    }
}

void HttpServer::readFrom(Connection& connection, Clock::time_point now) {
    char buffer[16 * 1024];
    const ssize_t received = ::recv(connection.fd.get(), buffer, sizeof buffer, 0);
    if (received < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            connection.done = true;
        return;
    }
    if (received == 0) {
        // The client closed its side: what it sent before still gets its answer if the
        // request is complete, but nothing more will come.
        connection.peerClosed = true;
        if (connection.held) {
            connection.done = true;  // the client gave up on the held request
            return;
        }
        if (!connection.draining)
            answerRequests(connection);
        if (connection.sent >= connection.output.size() || connection.draining)
            connection.done = true;
        else
            connection.closeAfterWrite = true;
        if (!connection.done)
            writeTo(connection, now);
        return;
    }
    if (connection.draining || connection.held)
        return;  // discarded: the answer is out, or will never be
    connection.deadline = now + kIdleTimeout;
    connection.parser.append(std::string_view(buffer, static_cast<size_t>(received)));
    answerRequests(connection);
    writeTo(connection, now);
}

void HttpServer::answerRequests(Connection& connection) {
    SimDevice& device = devices_[connection.device];
    while (!connection.closeAfterWrite) {
        HttpRequest request;
        int errorStatus = 0;
        const auto status = connection.parser.next(request, errorStatus);
        if (status == HttpRequestParser::Status::NeedMore) {
            if (connection.parser.takeContinue())
                connection.output += "HTTP/1.1 100 Continue\r\n\r\n";
            return;
        }
        bool closeAfter = true;
        if (status == HttpRequestParser::Status::Invalid) {
            HttpResponse response;
            response.status = errorStatus;
            response.body = std::string(reasonPhrase(errorStatus)) + "\n";
            connection.output +=
                formatResponse(response, Framing::Length, true, false, false, closeAfter);
            log_("http " + std::to_string(device.number) + " - - " + std::to_string(errorStatus));
            connection.closeAfterWrite = true;
            return;
        }
        const SiteAnswer answer = site_.answer(device, request);
        log_(answer.logLine);
        if (answer.hold) {
            // A tarpit: open until the client gives up or the simulator ends.
            connection.held = true;
            connection.deadline = Clock::now() + kHoldLimit;
            return;
        }
        connection.output +=
            formatResponse(answer.response, device.framing, request.version == "HTTP/1.1",
                           request.keepAlive(), request.method == "HEAD", closeAfter);
        connection.closeAfterWrite = closeAfter;
    }
}

void HttpServer::writeTo(Connection& connection, Clock::time_point now) {
    while (connection.sent < connection.output.size()) {
        const ssize_t sent = ::send(connection.fd.get(), connection.output.data() + connection.sent,
                                    connection.output.size() - connection.sent, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return;
            connection.done = true;
            return;
        }
        connection.sent += static_cast<size_t>(sent);
        connection.deadline = now + kIdleTimeout;
    }
    connection.output.clear();
    connection.sent = 0;
    if (connection.closeAfterWrite && connection.peerClosed) {
        connection.done = true;
    } else if (connection.closeAfterWrite && !connection.draining) {
        ::shutdown(connection.fd.get(), SHUT_WR);
        connection.draining = true;
        connection.deadline = now + kDrainTimeout;
    }
}

}  // namespace nassim
