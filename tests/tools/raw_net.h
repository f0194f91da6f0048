#pragma once

// Plain sockets for the simulator's tests: an SSDP searcher, an SSDP group listener on lo, and
// an HTTP client that returns the raw bytes of an exchange together with a small, independent
// reading of the response. Every wait is bounded. Loopback only.

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nassim_test {

using Clock = std::chrono::steady_clock;

struct Datagram {
    std::string from;  // dotted address of the sender
    uint16_t port = 0;
    std::string text;
};

inline std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Start line and headers (names lower-cased, first occurrence kept) of an HTTP-like message.
struct MessageHead {
    std::string startLine;
    std::map<std::string, std::string> headers;
    std::vector<std::string> names;  // in order, as sent

    bool has(const std::string& name) const { return headers.count(lowerCase(name)) > 0; }
    std::string get(const std::string& name) const {
        const auto it = headers.find(lowerCase(name));
        return it == headers.end() ? std::string() : it->second;
    }
};

inline MessageHead readHead(const std::string& text) {
    MessageHead head;
    size_t position = 0;
    bool first = true;
    while (position < text.size()) {
        const size_t end = text.find("\r\n", position);
        if (end == std::string::npos || end == position)
            break;
        const std::string line = text.substr(position, end - position);
        position = end + 2;
        if (first) {
            head.startLine = line;
            first = false;
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        const std::string name = line.substr(0, colon);
        head.names.push_back(name);
        head.headers.emplace(lowerCase(name), value);
    }
    return head;
}

// "http://127.0.1.1:8080/x" → "127.0.1.1"
inline std::string urlHost(const std::string& url) {
    const size_t start = url.find("://");
    if (start == std::string::npos)
        return {};
    const size_t hostStart = start + 3;
    const size_t end = url.find_first_of(":/", hostStart);
    return url.substr(hostStart, end == std::string::npos ? std::string::npos : end - hostStart);
}

inline sockaddr_in endpointOf(const std::string& address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    return sa;
}

class UdpSocket {
  public:
    UdpSocket() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        // Room for hundreds of answers arriving at once.
        const int size = 8 << 20;
        if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    ~UdpSocket() {
        if (fd_ >= 0)
            close(fd_);
    }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // A searcher: bound to 127.0.0.1, multicast out through lo.
    bool bindSearcher() {
        const sockaddr_in local = endpointOf("127.0.0.1", 0);
        if (bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            return false;
        ip_mreqn out{};
        out.imr_address.s_addr = htonl(INADDR_LOOPBACK);
        out.imr_ifindex = static_cast<int>(if_nametoindex("lo"));
        return setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) == 0;
    }

    // A listener of the SSDP group on lo, sharing port 1900 with everyone else.
    bool bindGroupListener() {
        const int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        setsockopt(fd_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
        const sockaddr_in group = endpointOf("239.255.255.250", 1900);
        if (bind(fd_, reinterpret_cast<const sockaddr*>(&group), sizeof group) != 0)
            return false;
        ip_mreqn membership{};
        membership.imr_multiaddr.s_addr = group.sin_addr.s_addr;
        membership.imr_address.s_addr = htonl(INADDR_LOOPBACK);
        membership.imr_ifindex = static_cast<int>(if_nametoindex("lo"));
        return setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0;
    }

    bool sendToGroup(const std::string& text) {
        const sockaddr_in to = endpointOf("239.255.255.250", 1900);
        return sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                      sizeof to) == static_cast<ssize_t>(text.size());
    }

    // Datagrams whose sender address starts with `fromPrefix` (others, from simulators of tests
    // running beside this one, are skipped), until `count` arrived or `timeout` passed.
    std::vector<Datagram> receive(const std::string& fromPrefix, size_t count,
                                  std::chrono::milliseconds timeout) {
        std::vector<Datagram> received;
        const auto deadline = Clock::now() + timeout;
        while (received.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd entry{fd_, POLLIN, 0};
            if (poll(&entry, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buffer[9000];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0)
                break;
            char address[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
            if (std::string(address).rfind(fromPrefix, 0) != 0)
                continue;
            received.push_back(
                {address, ntohs(from.sin_port), std::string(buffer, static_cast<size_t>(n))});
        }
        return received;
    }

  private:
    int fd_;
};

inline std::string searchMessage(const std::string& st, const std::string& mx = "1") {
    return "M-SEARCH * HTTP/1.1\r\nMX: " + mx + "\r\nST: " + st +
           "\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n\r\n";
}

// Sends `request` to address:port and reads until the server closes or `timeout` passes.
// With `afterFirstReply`, those bytes are sent once the server has sent anything (an interim
// answer such as "100 Continue").
inline std::optional<std::string> exchange(
    const std::string& address, uint16_t port, const std::string& request,
    std::chrono::milliseconds timeout = std::chrono::seconds(5),
    const std::string& afterFirstReply = {}) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = endpointOf(address, port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return std::nullopt;
    }
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        close(fd);
        return std::nullopt;
    }
    std::string received;
    const auto deadline = Clock::now() + timeout;
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            close(fd);
            return std::nullopt;  // the server never closed: a test failure, not a hang
        }
        char buffer[8192];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        const bool first = received.empty();
        received.append(buffer, static_cast<size_t>(n));
        if (first && !afterFirstReply.empty())
            send(fd, afterFirstReply.data(), afterFirstReply.size(), MSG_NOSIGNAL);
    }
    close(fd);
    return received;
}

struct HttpResult {
    int status = 0;
    MessageHead head;
    std::string body;
    std::string framing;  // "length", "chunked" or "close"
    bool complete = false;
    std::string rest;  // bytes after this response (a next response on the same connection)
};

// Reads one response off the front of `bytes`, by the framing its head declares.
inline HttpResult readResponse(const std::string& bytes, bool headRequest = false) {
    HttpResult result;
    const size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return result;
    result.head = readHead(bytes.substr(0, headEnd + 2));
    if (result.head.startLine.rfind("HTTP/1.1 ", 0) == 0)
        result.status = std::atoi(result.head.startLine.c_str() + 9);
    size_t position = headEnd + 4;
    if (headRequest) {
        result.framing = result.head.has("Content-Length") ? "length" : "none";
        result.complete = true;
    } else if (lowerCase(result.head.get("Transfer-Encoding")) == "chunked") {
        result.framing = "chunked";
        while (true) {
            const size_t lineEnd = bytes.find("\r\n", position);
            if (lineEnd == std::string::npos)
                return result;
            const size_t size =
                std::strtoul(bytes.substr(position, lineEnd - position).c_str(), nullptr, 16);
            position = lineEnd + 2;
            if (size == 0) {
                if (bytes.compare(position, 2, "\r\n") != 0)
                    return result;
                position += 2;
                break;
            }
            if (bytes.size() < position + size + 2 ||
                bytes.compare(position + size, 2, "\r\n") != 0)
                return result;
            result.body += bytes.substr(position, size);
            position += size + 2;
        }
        result.complete = true;
    } else if (result.head.has("Content-Length")) {
        result.framing = "length";
        const size_t length = std::strtoul(result.head.get("Content-Length").c_str(), nullptr, 10);
        if (bytes.size() < position + length)
            return result;
        result.body = bytes.substr(position, length);
        position += length;
        result.complete = true;
    } else {
        result.framing = "close";
        result.body = bytes.substr(position);
        position = bytes.size();
        result.complete = true;
    }
    result.rest = bytes.substr(position);
    return result;
}

inline HttpResult httpGet(const std::string& address, uint16_t port, const std::string& path,
                          const std::string& version = "HTTP/1.1") {
    const std::string request =
        "GET " + path + " " + version + "\r\nHost: " + address + "\r\nConnection: close\r\n\r\n";
    const auto bytes = exchange(address, port, request);
    return bytes ? readResponse(*bytes) : HttpResult{};
}

inline HttpResult httpPostForm(const std::string& address, const std::string& path,
                               const std::string& body) {
    const std::string request = "POST " + path + " HTTP/1.1\r\nHost: " + address +
                                "\r\nContent-Type: application/x-www-form-urlencoded;\r\n"
                                "Content-Length: " +
                                std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                                body;
    const auto bytes = exchange(address, 80, request);
    return bytes ? readResponse(*bytes) : HttpResult{};
}

}  // namespace nassim_test
