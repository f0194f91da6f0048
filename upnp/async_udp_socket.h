#pragma once

// The UDP socket of the SSDP client: an `AsyncSocket` bound to a local port that hands every
// datagram whole to one callback, with the sender's address, and sends datagrams with
// `sendOnSocket` and a destination. Every datagram queued when the socket turns readable is read
// in the same pass (up to a bound), so a burst of answers is not spread over many passes.
//
// Threads and ownership as for `AsyncSocket` (the chain owns the socket; callbacks run on the
// chain thread). The option setters may be called from any thread.

#include <cstdint>
#include <functional>
#include <string_view>

#include "upnp/async_socket.h"

namespace upnp {

class AsyncUdpSocket final : public AsyncSocket {
  public:
    // `datagram` is valid during the call only; addresses are in network byte order.
    using OnDatagram = std::function<void(AsyncUdpSocket&, std::string_view datagram,
                                          uint32_t senderAddress, uint16_t senderPort, int& pause)>;
    using OnSendDone = std::function<void(AsyncUdpSocket&)>;

    // Use `createAsyncUdpSocket`.
    AsyncUdpSocket(Chain& chain, size_t bufferSize, uint16_t boundPort, OnDatagram onDatagram,
                   OnSendDone onSendDone);

    uint16_t boundPort() const { return boundPort_; }

  private:
    friend int joinGroup(AsyncUdpSocket&, uint32_t, uint32_t);

    const uint16_t boundPort_;
};

// Binds a UDP socket to `localAddress` (0: all interfaces) and registers it on `chain`. With
// `lowestPort` == `highestPort` it binds that port once; otherwise random ports p with
// lowestPort <= p < highestPort until a bind succeeds. `reuse` sets SO_REUSEADDR (several
// listeners on one multicast port). Null when no port could be bound.
AsyncUdpSocket* createAsyncUdpSocket(Chain& chain, size_t bufferSize, uint32_t localAddress,
                                     uint16_t lowestPort, uint16_t highestPort, bool reuse,
                                     AsyncUdpSocket::OnDatagram onDatagram,
                                     AsyncUdpSocket::OnSendDone onSendDone = {});

// Joins `group` on the interface `interfaceAddress` (network byte order). 0 on success, when the
// interface becomes the socket's local address; -1 on failure (for example a second join on the
// same interface), which clears that local address.
int joinGroup(AsyncUdpSocket& socket, uint32_t interfaceAddress, uint32_t group);

// Selects the interface of outgoing multicast datagrams. 0 on success, -1 on failure.
int setMulticastInterface(AsyncUdpSocket& socket, uint32_t interfaceAddress);

// Sets the time-to-live of outgoing multicast datagrams. 0 on success, -1 on failure.
int setMulticastTtl(AsyncUdpSocket& socket, uint8_t ttl);

// Asks the system for a receive queue of `bytes` (the SSDP client wants 2 MiB so that the
// answers of many devices to one search are not dropped). Returns the size the system granted
// (the kernel's own accounting, which may differ from the request), -1 on failure.
int setReceiveBufferSize(AsyncUdpSocket& socket, int bytes);

}  // namespace upnp
