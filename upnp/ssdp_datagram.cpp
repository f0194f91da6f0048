#include "upnp/ssdp_datagram.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "upnp/http_packet.h"
#include "upnp/ssdp_protocol.h"
#include "upnp/text_parsing.h"
#include "upnp/uri.h"

namespace upnp {
namespace {

// The text begins with `prefix`, ignoring case.
bool beginsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Header names are compared on the length of the name looked for, so "Location" and "LOCATION"
// are the same header (and so is a longer name that begins with it, as devices have always been
// read).
bool headerIs(std::string_view name, std::string_view expected) {
    return beginsWithIgnoringCase(name, expected);
}

// The decimal digits at the start of `text`, at most `ceiling`; none when it starts with none.
std::optional<int> boundedDecimal(std::string_view text, int ceiling) {
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = std::min<int64_t>(value * 10 + (c - '0'), ceiling);
    }
    return static_cast<int>(value);
}

// CACHE-CONTROL: no-cache, max-age = 1800. None when the value has no max-age with a number.
// A lifetime beyond a day is taken as a day, so a huge number neither wraps to "no lifetime"
// nor keeps a silent device for ever.
std::optional<int> maxAgeOf(std::string_view value) {
    for (std::string_view part : parseString(value, ",").tokens) {
        const ParseResult sides = parseString(part, "=");
        if (sides.count() < 2)
            continue;
        if (equalsIgnoringCase(trimWhitespace(sides[0]), ssdp::kMaxAge))
            return boundedDecimal(trimWhitespace(sides[1]), ssdp::kMaxLifetimeSeconds);
    }
    return std::nullopt;
}

// USN: uuid:<device-UUID>::upnp:rootdevice, or uuid:<device-UUID> alone. A first part shorter
// than "uuid:" names no device.
std::optional<std::string_view> deviceNameOf(std::string_view usn) {
    const std::string_view first = parseString(usn, ssdp::kUsnSeparator).first();
    if (first.size() < ssdp::kUuidPrefixLength)
        return std::nullopt;
    return first.substr(ssdp::kUuidPrefixLength);
}

// The headers both kinds of message share.
struct CommonFields {
    std::optional<std::string_view> location;
    std::optional<std::string_view> deviceName;
    std::optional<int> lifetime;

    // True when the header was one of them.
    bool take(const HttpHeader& header) {
        if (headerIs(header.name, ssdp::kHeaderLocation)) {
            location = header.value;
        } else if (headerIs(header.name, ssdp::kHeaderCacheControl)) {
            // The first header with a usable max-age counts; a later one cannot reset it.
            if (!lifetime)
                lifetime = maxAgeOf(header.value);
        } else if (headerIs(header.name, ssdp::kHeaderUsn)) {
            deviceName = deviceNameOf(header.value);
        } else {
            return false;
        }
        return true;
    }
};

// HTTP/1.1 200 OK + LOCATION, USN, CACHE-CONTROL
void handleResponse(const HttpPacket& packet, uint32_t sender,
                    const std::function<void(const SsdpResult&)>& report) {
    if (packet.statusCode != 200)
        return;
    CommonFields fields;
    for (const HttpHeader& header : packet.headers())
        fields.take(header);
    if (!fields.location || !locationNamesSender(*fields.location, sender))
        return;
    report(SsdpResult{fields.deviceName, true, fields.location, fields.lifetime.value_or(0),
                      FromSearchResponse, sender});
}

// NOTIFY * HTTP/1.1 + NT, NTS, USN, LOCATION, CACHE-CONTROL
void handleNotify(const SsdpSearchTarget& target, const HttpPacket& packet, uint32_t sender,
                  const std::function<void(const SsdpResult&)>& report) {
    if (!beginsWithIgnoringCase(packet.method, ssdp::kNotifyMethod))
        return;
    CommonFields fields;
    bool matchesTarget = false;
    bool alive = false;
    for (const HttpHeader& header : packet.headers()) {
        if (fields.take(header))
            continue;
        if (header.name.size() == ssdp::kHeaderNt.size() &&
            headerIs(header.name, ssdp::kHeaderNt)) {
            const std::string_view prefix =
                std::string_view(target.text).substr(0, target.prefixLength);
            const std::string_view value = header.value;
            matchesTarget = beginsWithIgnoringCase(value, prefix) &&
                            parseDecimal(value.substr(prefix.size())) >= target.version;
        } else if (headerIs(header.name, ssdp::kHeaderNts)) {
            alive = beginsWithIgnoringCase(header.value, ssdp::kAlive);
            if (!alive)
                matchesTarget = false;
        }
    }
    if (alive && !matchesTarget)
        return;
    const bool fromSender = fields.location && locationNamesSender(*fields.location, sender);
    // Goodbyes pass whatever their type and location: a device that leaves need not say where
    // its description was.
    if (alive && !fromSender)
        return;
    report(SsdpResult{fields.deviceName, alive, fields.location, fields.lifetime.value_or(0),
                      FromNotify, sender});
}

}  // namespace

SsdpSearchTarget SsdpSearchTarget::from(std::string_view target) {
    SsdpSearchTarget split;
    split.text.assign(target);
    const size_t colon = target.rfind(':');
    split.prefixLength = colon == std::string_view::npos ? 0 : colon + 1;
    split.version = parseDecimal(target.substr(split.prefixLength));
    return split;
}

bool locationNamesSender(std::string_view url, uint32_t senderAddress) {
    const std::string host = parseUri(url).host;
    in_addr address{};
    // inet_pton takes only the four dotted decimal fields (no "0x7f.1", no host names) and, unlike
    // inet_addr, keeps 255.255.255.255 apart from its failure value.
    if (host.empty() || host.find('\0') != std::string::npos ||
        ::inet_pton(AF_INET, host.c_str(), &address) != 1)
        return false;
    return address.s_addr == senderAddress;
}

void handleSsdpDatagram(const SsdpSearchTarget& target, std::string_view datagram,
                        uint32_t senderAddress,
                        const std::function<void(const SsdpResult&)>& report) {
    if (senderAddress == 0)
        return;  // no sender to judge the message by
    const std::unique_ptr<HttpPacket> packet = parsePacketHeader(datagram);
    if (!packet)
        return;
    if (packet->isRequest())
        handleNotify(target, *packet, senderAddress, report);
    else
        handleResponse(*packet, senderAddress, report);
}

}  // namespace upnp
