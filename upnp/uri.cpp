#include "upnp/uri.h"

namespace upnp {
namespace {

// Decimal digits up to the first non-digit; a field that does not start with a digit is 0.
uint16_t parsePort(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 0xFFFF)
            return 0;
    }
    return static_cast<uint16_t>(value);
}

}  // namespace

Uri parseUri(std::string_view url) {
    // scheme://host[:port][/path] — the scheme ends at the first "://"; a "://" further on
    // belongs to the path or query ("/desc?next=http://x") and must not move the host.
    std::string_view rest = url;
    if (const size_t at = rest.find("://"); at != std::string_view::npos)
        rest.remove_prefix(at + 3);

    Uri uri;
    const size_t slash = rest.find('/');
    std::string_view hostPart = rest.substr(0, slash);
    if (slash != std::string_view::npos)
        uri.path.assign(rest.substr(slash));

    const size_t firstColon = hostPart.find(':');
    uri.host.assign(hostPart.substr(0, firstColon));
    if (firstColon != std::string_view::npos)
        uri.port = parsePort(hostPart.substr(hostPart.rfind(':') + 1));
    return uri;
}

}  // namespace upnp
