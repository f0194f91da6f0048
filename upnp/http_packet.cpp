#include "upnp/http_packet.h"

#include "upnp/text_parsing.h"

namespace upnp {
namespace {

constexpr std::string_view kCrLf = "\r\n";
// Values this long are written folded, in pieces of kFoldPiece bytes.
constexpr size_t kFoldThreshold = 1600;
constexpr size_t kFoldPiece = 800;

// The text after the first "/" of `token`, or empty when it has none ("HTTP/1.1" → "1.1").
std::string_view afterFirstSlash(std::string_view token) {
    const size_t slash = token.find('/');
    return slash == std::string_view::npos ? std::string_view() : token.substr(slash + 1);
}

// "HTTP/<version> <status> <reason...>"
void parseStatusLine(std::string_view line, HttpPacket& packet) {
    const ParseResult fields = parseString(line, " ");
    packet.version.assign(afterFirstSlash(fields[0]));
    packet.statusCode = fields.count() > 1 ? parseDecimal(fields[1]) : 0;
    if (fields.count() > 2) {
        // The reason phrase may hold spaces ("Not Found"): it is the rest of the line.
        const size_t reasonStart = fields[0].size() + 1 + fields[1].size() + 1;
        packet.reason.assign(line.substr(reasonStart));
    }
}

// "<method> <uri> HTTP/<version>" (NOTIFY * HTTP/1.1, GET /desc.xml HTTP/1.1)
bool parseRequestLine(std::string_view line, HttpPacket& packet) {
    const ParseResult fields = parseString(line, " ");
    if (fields.count() < 2 || fields[0].empty())
        return false;
    packet.method.assign(fields[0]);
    packet.uri.assign(fields[1]);
    packet.version.assign(afterFirstSlash(fields.last()));
    packet.statusCode = -1;
    return true;
}

bool holdsLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

void HttpPacket::addHeader(std::string_view name, std::string_view value) {
    headers_.push_back(HttpHeader{std::string(name), std::string(value)});
    headerTable_.add(name, headers_.size() - 1);
}

void HttpPacket::appendToLastHeader(std::string_view more) {
    if (!headers_.empty())
        headers_.back().value.append(more);
}

std::optional<std::string_view> HttpPacket::getHeaderValue(std::string_view name) const {
    const size_t* index = headerTable_.get(name);
    if (index == nullptr)
        return std::nullopt;
    return std::string_view(headers_[*index].value);
}

std::unique_ptr<HttpPacket> createEmptyPacket() {
    return std::make_unique<HttpPacket>();
}

std::unique_ptr<HttpPacket> parsePacketHeader(std::string_view head) {
    // Only CR LF ends a line; a lone LF stays inside the line.
    const ParseResult lines = parseString(head, kCrLf);
    auto packet = createEmptyPacket();

    const std::string_view startLine = lines[0];
    if (startLine.substr(0, 5) == "HTTP/")
        parseStatusLine(startLine, *packet);
    else if (!parseRequestLine(startLine, *packet))
        return nullptr;

    // True while the last header line was kept, so that a continuation belongs to it. A
    // continuation after a line without a colon belongs to that dropped line and is dropped too.
    bool canContinue = false;
    for (size_t i = 1; i < lines.count(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty())
            break;  // end of the head; the body is not examined
        if (line[0] == ' ' || line[0] == '\t') {
            // Folded value: "X-Note: a" + " b" → "ab" (no separator is inserted).
            if (canContinue)
                packet->appendToLastHeader(line.substr(1));
            continue;
        }
        // "<name>:<value>" — the name is not trimmed, the value is.
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            canContinue = false;
            continue;
        }
        packet->addHeader(line.substr(0, colon), trimWhitespace(line.substr(colon + 1)));
        canContinue = true;
    }
    return packet;
}

std::unique_ptr<HttpPacket> clonePacket(const HttpPacket& packet) {
    auto copy = createEmptyPacket();
    copy->method = packet.method;
    copy->uri = packet.uri;
    copy->statusCode = packet.statusCode;
    copy->reason = packet.reason;
    copy->version = packet.version;
    for (const HttpHeader& header : packet.headers())
        copy->addHeader(header.name, header.value);
    copy->remoteAddress = packet.remoteAddress;
    copy->remotePort = packet.remotePort;
    copy->localAddress = packet.localAddress;
    return copy;
}

std::string packetToString(const HttpPacket& packet) {
    size_t size = packet.method.size() + packet.uri.size() + packet.version.size() +
                  packet.reason.size() + 32 + packet.body.size();
    for (const HttpHeader& header : packet.headers())
        size += header.name.size() + header.value.size() + 4 + header.value.size() / kFoldPiece * 3;

    std::string text;
    text.reserve(size);
    if (packet.isRequest()) {
        text.append(packet.method).append(" ").append(packet.uri).append(" HTTP/");
        text.append(packet.version);
    } else {
        text.append("HTTP/").append(packet.version);
        text.append(" ").append(std::to_string(packet.statusCode)).append(" ");
        text.append(packet.reason);
    }
    text.append(kCrLf);
    for (const HttpHeader& header : packet.headers()) {
        text.append(header.name).append(": ");
        const std::string_view value = header.value;
        if (value.size() >= kFoldThreshold) {
            for (size_t at = 0; at < value.size(); at += kFoldPiece) {
                if (at > 0)
                    text.append("\r\n ");
                text.append(value.substr(at, kFoldPiece));
            }
        } else {
            text.append(value);
        }
        text.append(kCrLf);
    }
    text.append(kCrLf);
    text.append(packet.body);
    return text;
}

std::unique_ptr<HttpPacket> createRequestPacket(std::string_view host, uint16_t port,
                                                std::string_view path, std::string_view method) {
    if (method.empty() || holdsLineBreakOrNul(host) || holdsLineBreakOrNul(path) ||
        holdsLineBreakOrNul(method))
        return nullptr;
    auto packet = createEmptyPacket();
    packet->setVersion("1.1");
    packet->setRequestLine(method, path);
    std::string hostValue(host);
    hostValue.append(":").append(std::to_string(port));
    packet->addHeader("Host", hostValue);
    packet->addHeader("User-Agent", kUserAgent);
    return packet;
}

}  // namespace upnp
