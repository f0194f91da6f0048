#pragma once

// The SSDP wire constants and message texts of the client, kept in one place.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace upnp::ssdp {

// 239.255.255.250, host byte order (convert with htonl before use on a socket).
inline constexpr uint32_t kMulticastGroupHostOrder = 0xEFFFFFFAu;
inline constexpr uint16_t kPort = 1900;

// The search socket binds a random port p with kSearchPortLowest <= p < kSearchPortHighest.
inline constexpr uint16_t kSearchPortLowest = 50000;
inline constexpr uint16_t kSearchPortHighest = 65500;
inline constexpr uint8_t kMulticastTtl = 4;

// Each datagram is read into a buffer of this size; SSDP messages are far shorter.
inline constexpr size_t kDatagramBufferSize = 4096;
// The system's receive queue of each SSDP socket. One search is never repeated, so an answer
// dropped by a full queue is a device missing until its next announcement: the queue must hold
// the answers of a few hundred devices arriving at once.
inline constexpr int kReceiveQueueBytes = 2 * 1024 * 1024;

// The search target of the control point.
inline constexpr std::string_view kRootDeviceTarget = "upnp:rootdevice";

// Header names and values the client reads.
inline constexpr std::string_view kNotifyMethod = "NOTIFY";
inline constexpr std::string_view kHeaderLocation = "LOCATION";
inline constexpr std::string_view kHeaderCacheControl = "CACHE-CONTROL";
inline constexpr std::string_view kHeaderUsn = "USN";
inline constexpr std::string_view kHeaderNt = "NT";
inline constexpr std::string_view kHeaderNts = "NTS";
inline constexpr std::string_view kMaxAge = "max-age";
// The longest lifetime an announcement is believed for: one day.
inline constexpr int kMaxLifetimeSeconds = 24 * 60 * 60;
inline constexpr std::string_view kAlive = "ssdp:alive";
inline constexpr std::string_view kUsnSeparator = "::";
// "uuid:" before the unique device name in a USN.
inline constexpr size_t kUuidPrefixLength = 5;

// The one search message: request line, MX, ST, HOST and MAN, each ended by CR LF, then an empty
// line; `searchTarget` goes in the ST line.
inline std::string formatSearchMessage(std::string_view searchTarget) {
    std::string message;
    message.reserve(searchTarget.size() + 105);
    message += "M-SEARCH * HTTP/1.1\r\nMX: 3\r\nST: ";
    message += searchTarget;
    message += "\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n\r\n";
    return message;
}

}  // namespace upnp::ssdp
