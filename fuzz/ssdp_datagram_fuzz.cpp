// Feeds whole datagrams to the SSDP datagram handler, as if received from 127.0.0.1, with the
// control point's search target and with a versioned device type. An accepted result carries its
// sender and a lifetime of at most a day; an accepted alive result must name its sender in its
// description URL; every text must lie inside the datagram's parse.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "upnp/ssdp_datagram.h"
#include "upnp/ssdp_protocol.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const upnp::SsdpSearchTarget kRoot = upnp::SsdpSearchTarget::from("upnp:rootdevice");
    static const upnp::SsdpSearchTarget kBasic =
        upnp::SsdpSearchTarget::from("urn:schemas-upnp-org:device:Basic:1");
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    const uint32_t sender = htonl(INADDR_LOOPBACK);
    for (const upnp::SsdpSearchTarget* target : {&kRoot, &kBasic}) {
        int reports = 0;
        upnp::handleSsdpDatagram(*target, datagram, sender, [&](const upnp::SsdpResult& result) {
            ++reports;
            require(result.origin == upnp::FromSearchResponse || result.origin == upnp::FromNotify);
            require(result.lifetimeSeconds >= 0 &&
                    result.lifetimeSeconds <= upnp::ssdp::kMaxLifetimeSeconds);
            require(result.senderAddress == sender);
            if (result.alive) {
                require(result.descriptionUrl.has_value());
                require(upnp::locationNamesSender(*result.descriptionUrl, sender));
            }
            // Touch every byte of the texts so that a stale view shows under the sanitizers.
            size_t sum = 0;
            for (auto text : {result.uniqueDeviceName, result.descriptionUrl})
                if (text)
                    for (char c : *text)
                        sum += static_cast<unsigned char>(c);
            (void)sum;
        });
        require(reports <= 1);
    }
    return 0;
}
