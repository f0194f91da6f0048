#pragma once

// The SSDP client: sends one search for its target on every local interface and reports the
// answers and the devices' announcements whose description URL names the sender.
//
// It owns (borrows from the chain) two UDP sockets: the multicast listener on 0.0.0.0:1900 with
// address reuse, which hears NOTIFY announcements, and the search socket on a random port in
// [50000, 65500), which sends the searches and hears the unicast answers. Both get a large
// receive queue and read every queued datagram in each pass. When port 1900 cannot be bound
// (another program holds it without address reuse), the client goes on with the search socket
// alone and says so in a trace line.
//
// Threads: everything (the first search, `ssdpSearch`, the sink) runs on the chain thread.
// Ownership: the chain owns the client and both sockets; the client borrows the sockets, which
// the chain destroys before it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "upnp/async_udp_socket.h"
#include "upnp/chain.h"
#include "upnp/ssdp_datagram.h"

namespace upnp {

class SsdpClient;

// Receives each accepted result: the client, the unique device name (may be absent), the alive
// flag, the description URL (may be absent), the lifetime in seconds (0 when absent), the origin
// and the datagram's own sender (IPv4, network byte order; never 0). The texts are valid during
// the call only. The caller's context is captured in the function.
using SsdpResultSink =
    std::function<void(SsdpClient&, std::optional<std::string_view> uniqueDeviceName, bool alive,
                       std::optional<std::string_view> descriptionUrl, int lifetimeSeconds,
                       SsdpOrigin origin, uint32_t senderAddress)>;

class SsdpClient final : public ChainObject {
  public:
    // Use `createSsdpClient`.
    SsdpClient(Chain& chain, std::string_view searchTarget, SsdpResultSink sink);

    // The first pass sends the first search.
    void preSelect(SocketSets& sets, int& waitMs) override;
    void destroy() override;

    const SsdpSearchTarget& searchTarget() const { return target_; }
    // Null when port 1900 could not be bound.
    AsyncUdpSocket* multicastListener() const { return listener_; }
    // Null only when no port of the range could be bound.
    AsyncUdpSocket* searchSocket() const { return searchSocket_; }
    // The addresses the last search went out on (127.0.0.1 last), network byte order.
    const std::vector<uint32_t>& addressList() const { return addresses_; }

    // Reads one datagram received from `senderAddress` (network byte order) and reports it to
    // the sink when accepted. Chain thread.
    void handleDatagram(std::string_view datagram, uint32_t senderAddress);

  private:
    friend SsdpClient& createSsdpClient(Chain&, std::string_view, SsdpResultSink);
    friend void ssdpSearch(SsdpClient&);

    const SsdpSearchTarget target_;
    const SsdpResultSink sink_;
    bool firstSearchSent_ = false;
    std::vector<uint32_t> addresses_;
    AsyncUdpSocket* listener_ = nullptr;      // chain-owned
    AsyncUdpSocket* searchSocket_ = nullptr;  // chain-owned
};

// Creates the multicast listener, then the search socket (multicast time-to-live 4), then the
// client, and registers them on `chain`. Chain thread, or before the chain runs.
SsdpClient& createSsdpClient(Chain& chain, std::string_view searchTarget, SsdpResultSink sink);

// Takes a fresh local address list, joins the SSDP group on each address and sends one search
// from the search socket on each (loopback included); an interface that cannot be joined or
// selected is skipped. Chain thread.
void ssdpSearch(SsdpClient& client);

}  // namespace upnp
