#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace upnp {

// A URL split into host, port and path the way the stack needs it for description and control
// URLs: "http://192.168.0.5:8080/rootDesc.xml" → {"192.168.0.5", 8080, "/rootDesc.xml"}.
struct Uri {
    std::string host;
    uint16_t port = 80;
    std::string path;  // from the first "/" after the host to the end; empty when there is none
};

// Never fails: a missing port gives 80, a port that is not a number (or does not fit 16 bits)
// gives 0, a missing path an empty path. The host is the text up to the first ":" of the host
// part; when there are several colons, the port is the text after the last one. IPv6 literals
// are not supported (the stack is IPv4 only). Reads nothing outside `url`.
Uri parseUri(std::string_view url);

}  // namespace upnp
