// Feeds arbitrary bytes to the HTTP head parser, serializes what it read and parses that again:
// the start line and the headers must come back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "upnp/http_packet.h"
#include "upnp/text_parsing.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

bool allBlank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto packet = upnp::parsePacketHeader(input);
    if (!packet)
        return 0;
    for (const char* name : {"LOCATION", "USN", "CACHE-CONTROL", "NT", "NTS", "Content-Length"})
        (void)upnp::getHeaderValue(*packet, name);

    auto copy = upnp::clonePacket(*packet);
    const std::string text = upnp::packetToString(*copy);
    auto again = upnp::parsePacketHeader(text);
    require(again != nullptr);
    require(again->isRequest() == packet->isRequest());
    require(again->statusCode == packet->statusCode);
    require(again->method == packet->method);
    require(again->uri == packet->uri);
    require(again->version == packet->version);
    require(again->reason == packet->reason);

    // Continuation lines can join a value ending in CR to one starting with LF; such a value is
    // written as it is and reads back as two lines, so the header comparison stops there.
    for (const upnp::HttpHeader& header : packet->headers()) {
        if (header.value.find("\r\n") != std::string::npos)
            return 0;
    }
    const auto& before = packet->headers();
    const auto& after = again->headers();
    require(before.size() == after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        require(before[i].name == after[i].name);
        // Values are trimmed when read; a folded value is trimmed at its first piece only, and a
        // value of nothing but blanks is kept as it is.
        const std::string_view trimmed = upnp::trimWhitespace(before[i].value);
        if (before[i].value.size() < 1600 && !allBlank(trimmed))
            require(after[i].value == trimmed);
    }
    return 0;
}
