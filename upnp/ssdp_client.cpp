#include "upnp/ssdp_client.h"

#include <arpa/inet.h>

#include <memory>
#include <string>

#include "platform/trace.h"
#include "upnp/local_addresses.h"
#include "upnp/ssdp_protocol.h"

namespace upnp {
namespace {

uint32_t multicastGroup() {
    return htonl(ssdp::kMulticastGroupHostOrder);
}

// A queue too small for a crowd of answers is worth a trace line, not a failure: the client
// still works, only less well.
void enlargeReceiveQueue(AsyncUdpSocket& socket, std::string_view which) {
    const int granted = setReceiveBufferSize(socket, ssdp::kReceiveQueueBytes);
    if (granted < ssdp::kReceiveQueueBytes)
        platform::traceNarrow(
            std::string(">>>SsdpClient::createSsdpClient: receive queue of the ") +
            std::string(which) + " is " + std::to_string(granted) + " bytes, asked for " +
            std::to_string(ssdp::kReceiveQueueBytes));
}

}  // namespace

SsdpClient::SsdpClient(Chain&, std::string_view searchTarget, SsdpResultSink sink)
    : target_(SsdpSearchTarget::from(searchTarget)), sink_(std::move(sink)) {}

void SsdpClient::preSelect(SocketSets&, int&) {
    if (firstSearchSent_)
        return;
    firstSearchSent_ = true;
    ssdpSearch(*this);
}

void SsdpClient::destroy() {
    addresses_.clear();
    listener_ = nullptr;
    searchSocket_ = nullptr;
}

void SsdpClient::handleDatagram(std::string_view datagram, uint32_t senderAddress) {
    handleSsdpDatagram(target_, datagram, senderAddress, [this](const SsdpResult& result) {
        if (sink_)
            sink_(*this, result.uniqueDeviceName, result.alive, result.descriptionUrl,
                  result.lifetimeSeconds, result.origin, result.senderAddress);
    });
}

SsdpClient& createSsdpClient(Chain& chain, std::string_view searchTarget, SsdpResultSink sink) {
    auto owned = std::make_unique<SsdpClient>(chain, searchTarget, std::move(sink));
    SsdpClient& client = *owned;
    const auto onDatagram = [&client](AsyncUdpSocket&, std::string_view datagram,
                                      uint32_t senderAddress, uint16_t,
                                      int&) { client.handleDatagram(datagram, senderAddress); };

    client.listener_ = createAsyncUdpSocket(chain, ssdp::kDatagramBufferSize, 0, ssdp::kPort,
                                            ssdp::kPort, true, onDatagram);
    if (client.listener_)
        enlargeReceiveQueue(*client.listener_, "multicast listener");
    else
        platform::traceNarrow(
            ">>>SsdpClient::createSsdpClient: cannot listen on UDP port 1900; going on with "
            "answers to the search only");

    client.searchSocket_ =
        createAsyncUdpSocket(chain, ssdp::kDatagramBufferSize, 0, ssdp::kSearchPortLowest,
                             ssdp::kSearchPortHighest, false, onDatagram);
    if (client.searchSocket_)
        enlargeReceiveQueue(*client.searchSocket_, "search socket");
    else
        platform::traceNarrow(">>>SsdpClient::createSsdpClient: no port for the search socket");

    addToChain(chain, std::move(owned));
    if (client.searchSocket_)
        (void)setMulticastTtl(*client.searchSocket_, ssdp::kMulticastTtl);
    return client;
}

void ssdpSearch(SsdpClient& client) {
    client.addresses_ = getLocalAddressList();
    const uint32_t group = multicastGroup();
    if (client.listener_) {
        for (uint32_t address : client.addresses_)
            (void)joinGroup(*client.listener_, address, group);  // a failure skips the interface
    }
    if (!client.searchSocket_)
        return;
    const std::string message = ssdp::formatSearchMessage(client.target_.text);
    for (uint32_t address : client.addresses_) {
        if (setMulticastInterface(*client.searchSocket_, address) != 0)
            continue;
        (void)sendOnSocket(*client.searchSocket_, SendBuffer::copied(message), group, ssdp::kPort);
    }
}

}  // namespace upnp
