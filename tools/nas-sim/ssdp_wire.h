#pragma once

// SSDP as a UPnP 1.0 device speaks it: the M-SEARCH it accepts, the answers it sends back and
// the NOTIFY messages it multicasts. Every message template lives here.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/nas-sim/device_model.h"

namespace nassim {

inline constexpr const char* kServerHeader = "Linux/6.1 UPnP/1.0 DriveScout-NAS-Simulator/1.0";
// Larger MX values are taken as this many seconds, as UPnP devices do.
inline constexpr int kMaxMxSeconds = 5;

struct SearchRequest {
    std::string searchTarget;  // ST
    int mxSeconds = 0;         // MX, clamped to kMaxMxSeconds
};

struct SearchParse {
    std::optional<SearchRequest> request;
    std::string rejection;  // one word saying why it is not answered, e.g. "no-mx"
};

// Reads one datagram as a multicast search:
//   M-SEARCH * HTTP/1.1 / HOST / MAN: "ssdp:discover" / MX: <seconds> / ST: <target>
// Header names match without regard to case; lines may end in CR LF or LF. A search without
// MAN "ssdp:discover", without a decimal MX or without an ST is not answered.
[[nodiscard]] SearchParse parseSearchRequest(std::string_view datagram);

// The answers a root device gives to search target `st`, as (ST, USN) pairs: everything for
// ssdp:all, the root for upnp:rootdevice, the device with that UDN for uuid:..., and every
// device or service of that type at the asked version or later (ST echoes the asked version).
std::vector<SsdpTarget> searchAnswers(const DeviceModel& root, std::string_view st);

enum class NotifyKind { Alive, Byebye, Update };

// HTTP/1.1 200 OK with CACHE-CONTROL, DATE, EXT, LOCATION, SERVER, ST, USN and Content-Length.
std::string formatSearchAnswer(const SsdpTarget& target, const std::string& location,
                               int maxAgeSeconds, const std::string& date);

// NOTIFY * HTTP/1.1 to 239.255.255.250:1900. Alive carries CACHE-CONTROL, LOCATION and SERVER;
// byebye only HOST, NT, NTS and USN; update LOCATION and the boot identifiers.
std::string formatNotify(NotifyKind kind, const SsdpTarget& target, const std::string& location,
                         int maxAgeSeconds);

// RFC 1123 date, e.g. "Thu, 10 Dec 2026 14:00:00 GMT", for the DATE header.
std::string httpDate();

}  // namespace nassim
