#include "support/http_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace ds::test {
namespace {

constexpr std::size_t kMaxHeadBytes = 64 * 1024;
constexpr std::size_t kMaxBodyBytes = 4 * 1024 * 1024;
// A client that stops sending in the middle of a request is dropped after this.
constexpr std::chrono::milliseconds kReadPatience{5000};

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::string composeAnswer(const HttpReply& reply) {
    if (!reply.raw.empty())
        return reply.raw;
    std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
    for (const auto& [name, value] : reply.headers)
        text += name + ": " + value + "\r\n";
    if (reply.contentLength)
        text += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    text += "Connection: close\r\n\r\n";
    text += reply.body;
    return text;
}

}  // namespace

std::string RecordedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (equalNoCase(key, name))
            return value;
    return {};
}

bool RecordedRequest::hasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [name](const auto& entry) { return equalNoCase(entry.first, name); });
}

HttpFixture::HttpFixture(std::string address, uint16_t port) : address_(std::move(address)) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (inet_pton(AF_INET, address_.c_str(), &where.sin_addr) != 1)
        throw std::runtime_error("HttpFixture: not an IPv4 address: " + address_);
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("HttpFixture: socket failed");
    const int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        listen(listenFd_, 16) != 0) {
        const std::string reason = std::strerror(errno);
        close(listenFd_);
        throw std::runtime_error("HttpFixture: cannot listen on " + address_ + ": " + reason);
    }
    socklen_t length = sizeof where;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&where), &length);
    port_ = ntohs(where.sin_port);
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { run(); });
}

HttpFixture::~HttpFixture() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(stopFd_, &one, sizeof one);
    thread_.join();
    close(listenFd_);
    close(stopFd_);
}

std::string HttpFixture::hostPort() const {
    return address_ + ":" + std::to_string(port_);
}

void HttpFixture::setDefaultReply(HttpReply reply) {
    std::lock_guard lock(mutex_);
    defaultReply_ = std::move(reply);
}

void HttpFixture::queueReply(HttpReply reply) {
    std::lock_guard lock(mutex_);
    queued_.push_back(std::move(reply));
}

std::vector<RecordedRequest> HttpFixture::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t HttpFixture::connectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool HttpFixture::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool HttpFixture::stopping() const {
    pollfd entry{stopFd_, POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
}

bool HttpFixture::waitReadable(int fd, std::chrono::milliseconds timeout) {
    pollfd entries[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    const int ready = poll(entries, 2, static_cast<int>(timeout.count()));
    if (ready > 0 && (entries[1].revents & POLLIN))
        return false;
    return ready > 0;
}

void HttpFixture::run() {
    while (!stopping()) {
        pollfd entries[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(entries, 2, -1) < 0 && errno != EINTR)
            return;
        if (entries[1].revents & POLLIN)
            return;
        if (!(entries[0].revents & POLLIN))
            continue;
        const int connection = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        {
            std::lock_guard lock(mutex_);
            ++connections_;
        }
        serve(connection);
        close(connection);
    }
}

bool HttpFixture::readRequest(int connection, RecordedRequest& request) {
    std::string received;
    std::size_t headEnd = std::string::npos;
    char buffer[4096];
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
        if (received.size() > kMaxHeadBytes || !waitReadable(connection, kReadPatience))
            return false;
        const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        received.append(buffer, static_cast<std::size_t>(got));
    }

    std::string_view head(received.data(), headEnd);
    std::size_t lineEnd = head.find("\r\n");
    std::string_view requestLine = head.substr(0, lineEnd);
    // METHOD SP target SP version
    const std::size_t firstSpace = requestLine.find(' ');
    const std::size_t lastSpace = requestLine.rfind(' ');
    if (firstSpace == std::string_view::npos || lastSpace == firstSpace)
        return false;
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request.version = requestLine.substr(lastSpace + 1);

    std::size_t contentLength = 0;
    while (lineEnd != std::string_view::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        std::string_view line = head.substr(
            start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string name(trim(line.substr(0, colon)));
        std::string value(trim(line.substr(colon + 1)));
        if (equalNoCase(name, "Content-Length"))
            contentLength = std::min<std::size_t>(std::stoul(value), kMaxBodyBytes);
        request.headers.emplace_back(std::move(name), std::move(value));
    }

    request.body = received.substr(headEnd + 4);
    while (request.body.size() < contentLength) {
        if (!waitReadable(connection, kReadPatience))
            return false;
        const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        request.body.append(buffer, static_cast<std::size_t>(got));
    }
    request.body.resize(std::min(request.body.size(), contentLength));
    return true;
}

void HttpFixture::serve(int connection) {
    RecordedRequest request;
    if (!readRequest(connection, request))
        return;
    HttpReply reply;
    {
        std::lock_guard lock(mutex_);
        if (queued_.empty()) {
            reply = defaultReply_;
        } else {
            reply = std::move(queued_.front());
            queued_.pop_front();
        }
        requests_.push_back(std::move(request));
    }
    changed_.notify_all();

    if (reply.silent) {
        // Hold the connection until the client closes it or the fixture stops.
        char buffer[512];
        while (waitReadable(connection, std::chrono::milliseconds{-1}))
            if (recv(connection, buffer, sizeof buffer, 0) <= 0)
                return;
        return;
    }

    const std::string answer = composeAnswer(reply);
    std::size_t offset = 0;
    auto sendPiece = [&](std::size_t size) {
        size = std::min(size, answer.size() - offset);
        while (size > 0) {
            const ssize_t sent = send(connection, answer.data() + offset, size, MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            offset += static_cast<std::size_t>(sent);
            size -= static_cast<std::size_t>(sent);
        }
        return true;
    };
    for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
        if (i > 0 && reply.pause.count() > 0) {
            pollfd entry{stopFd_, POLLIN, 0};
            if (poll(&entry, 1, static_cast<int>(reply.pause.count())) > 0)
                return;
        }
        if (!sendPiece(reply.pieces[i]))
            return;
    }
    if (!reply.pieces.empty() && reply.pause.count() > 0 && offset < answer.size()) {
        pollfd entry{stopFd_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(reply.pause.count())) > 0)
            return;
    }
    sendPiece(answer.size() - offset);
    shutdown(connection, SHUT_WR);
}

}  // namespace ds::test
