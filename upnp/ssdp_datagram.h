#pragma once

// Reading one SSDP datagram: a search answer or a NOTIFY announcement becomes at most one
// `SsdpResult`, after the header rules and the sender check. No sockets and no state, so the
// same code serves the client, its tests and the fuzz target.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace upnp {

// Where a result came from.
enum SsdpOrigin {
    FromSearchResponse = 1,  // a unicast answer to our search
    FromNotify = 2,          // a device's own announcement
};

// One accepted message. The texts point into the parsed datagram and are valid only during the
// report call.
struct SsdpResult {
    std::optional<std::string_view> uniqueDeviceName;  // USN without "uuid:" and "::..."
    bool alive = false;
    std::optional<std::string_view> descriptionUrl;  // LOCATION
    int lifetimeSeconds = 0;                         // CACHE-CONTROL max-age, 0 when absent
    SsdpOrigin origin = FromSearchResponse;
    uint32_t senderAddress = 0;  // the datagram's own sender, network byte order
};

// The search target split the way NOTIFY types are matched against it: "upnp:rootdevice" has
// the prefix "upnp:" and version 0; "urn:schemas-upnp-org:device:Basic:1" the prefix up to and
// including the last ":" and version 1.
struct SsdpSearchTarget {
    std::string text;
    size_t prefixLength = 0;  // offset of the text after the last ":" (0 without one)
    int version = 0;          // decimal value of that text, 0 when it is not a number

    static SsdpSearchTarget from(std::string_view target);
};

// Reads `datagram`, received from `senderAddress` (IPv4, network byte order), and calls `report`
// once when it is accepted; dropped datagrams report nothing, and so does every datagram from
// 0.0.0.0. Any thread; reads nothing outside
// `datagram`.
void handleSsdpDatagram(const SsdpSearchTarget& target, std::string_view datagram,
                        uint32_t senderAddress,
                        const std::function<void(const SsdpResult&)>& report);

// True when `url` names `senderAddress` as its host in dotted IPv4 form. A host name, a number
// in any other form, or a missing host never matches.
bool locationNamesSender(std::string_view url, uint32_t senderAddress);

}  // namespace upnp
