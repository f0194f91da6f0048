#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "upnp/keyed_table.h"

namespace upnp {

// The User-Agent of every request the stack sends.
inline constexpr std::string_view kUserAgent = "WINDOWS UPnP/1.0 DriveScout/1.0";

struct HttpHeader {
    std::string name;
    std::string value;
};

// One HTTP message head (request or response) and an optional body for the serializer.
//
// Every text is owned by the packet: a parsed packet holds copies of the bytes it was parsed
// from, so the receive buffer may be reused as soon as `parsePacketHeader` returns.
//
// A packet is a request while `statusCode` is -1 (then `method` is set by the parser); a
// response has a status code of 0 or more and an empty method. Not thread-safe: one thread
// builds or reads a packet at a time.
class HttpPacket {
  public:
    std::string method;                  // request method; empty for a response
    std::string uri;                     // request target
    std::optional<std::string> fullUri;  // whole target when the server cut a prefix off `uri`
    int statusCode = -1;                 // -1 for a request
    std::string reason;                  // response reason text
    std::string version = "1.0";         // without "HTTP/", e.g. "1.1"
    std::string body;                    // written after the head by packetToString
    uint32_t remoteAddress = 0;          // peer IPv4 address, network byte order (web client)
    uint16_t remotePort = 0;             // peer port (web client)
    uint32_t localAddress = 0;           // local IPv4 address of the connection, network order

    bool isRequest() const { return statusCode == -1; }

    void setVersion(std::string_view text) { version.assign(text); }
    void setStatus(int code, std::string_view reasonText) {
        statusCode = code;
        reason.assign(reasonText);
    }
    void setRequestLine(std::string_view methodText, std::string_view uriText) {
        method.assign(methodText);
        uri.assign(uriText);
    }

    // Appends a header to the list and records it in the header table (a later header of the
    // same name, in any case, wins in getHeaderValue).
    void addHeader(std::string_view name, std::string_view value);

    // Appends `more` to the value of the last header (a continuation line).
    void appendToLastHeader(std::string_view more);

    // Headers in arrival order, repeated names included.
    const std::vector<HttpHeader>& headers() const { return headers_; }

    // The value of the last header whose name equals `name` ignoring ASCII case; nullopt when
    // there is none. The view is valid until the packet changes or is destroyed.
    std::optional<std::string_view> getHeaderValue(std::string_view name) const;

  private:
    std::vector<HttpHeader> headers_;
    // Header name (case-insensitive) → index in headers_ of the last header of that name.
    KeyedTable<size_t> headerTable_{KeyCase::Insensitive};
};

// A new empty packet: version "1.0", status -1, no method, no headers, no body.
std::unique_ptr<HttpPacket> createEmptyPacket();

// Parses a message head (start line and headers, lines ended by CR LF; parsing stops at the
// first empty line). Returns null when the start line is not usable: an empty line, a request
// line with a single token, or a request line with an empty method. A status line with fewer
// than three fields is accepted: a missing or non-numeric status code is 0, a missing reason is
// empty. The reason is the rest of the line after the status code.
std::unique_ptr<HttpPacket> parsePacketHeader(std::string_view head);

inline std::optional<std::string_view> getHeaderValue(const HttpPacket& packet,
                                                      std::string_view name) {
    return packet.getHeaderValue(name);
}

// A copy of the method, URI, status, reason, version, every header in order and the remote and
// local address; the body and the full URI are not copied.
std::unique_ptr<HttpPacket> clonePacket(const HttpPacket& packet);

// The message as sent on the wire: start line, headers, an empty line, the body. Header values of
// 1600 bytes or more are folded into pieces of 800 bytes joined by CR LF and one space. Texts are
// written as they are: whoever builds a packet from received text keeps CR and LF out of it
// (createRequestPacket does).
std::string packetToString(const HttpPacket& packet);

// The stack's one TCP request: "<method> <path> HTTP/1.1", Host: host:port, and
// User-Agent: WINDOWS UPnP/1.0 DriveScout/1.0. Null when the method is empty or when the host,
// the path or the method holds a CR, LF or NUL byte (which would let a URL taken from the
// network add lines of its own to the request).
std::unique_ptr<HttpPacket> createRequestPacket(std::string_view host, uint16_t port,
                                                std::string_view path, std::string_view method);

}  // namespace upnp
