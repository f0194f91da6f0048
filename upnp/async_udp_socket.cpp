#include "upnp/async_udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/socket_calls.h"
#include "platform/trace.h"
#include "upnp/port_binding.h"
#include "upnp/random_port.h"

namespace upnp {

AsyncUdpSocket::AsyncUdpSocket(Chain& chain, size_t bufferSize, uint16_t boundPort,
                               OnDatagram onDatagram, OnSendDone onSendDone)
    : AsyncSocket(
          chain, bufferSize,
          {.onData =
               [this, onDatagram = std::move(onDatagram)](
                   AsyncSocket& socket, std::string_view bytes, size_t& consumed, int& pause) {
                   // The receive buffer holds exactly one datagram: it is handed on whole.
                   consumed = bytes.size();
                   const uint32_t sender = socket.remoteAddress();
                   if (sender == 0) {
                       // Linux hands the port's listener broadcasts from 0.0.0.0; nothing can
                       // be checked against such a sender, so nothing of it is believed.
                       platform::traceNarrow(">>>AsyncUdpSocket: datagram of " +
                                             std::to_string(bytes.size()) +
                                             " bytes from 0.0.0.0 or an unreadable sender dropped");
                       return;
                   }
                   if (onDatagram)
                       onDatagram(*this, bytes, sender, socket.remotePort(), pause);
               },
           .onConnect = {},
           .onDisconnect = {},
           .onSendOK =
               [this, onSendDone = std::move(onSendDone)](AsyncSocket&) {
                   if (onSendDone)
                       onSendDone(*this);
               }}),
      boundPort_(boundPort) {}

AsyncUdpSocket* createAsyncUdpSocket(Chain& chain, size_t bufferSize, uint32_t localAddress,
                                     uint16_t lowestPort, uint16_t highestPort, bool reuse,
                                     AsyncUdpSocket::OnDatagram onDatagram,
                                     AsyncUdpSocket::OnSendDone onSendDone) {
    const int handle = platform::openSocket(SOCK_DGRAM);
    if (handle < 0)
        return nullptr;
    const int reuseFlag = reuse ? 1 : 0;
    ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &reuseFlag, sizeof reuseFlag);

    uint16_t port = lowestPort;
    bool bound = false;
    if (lowestPort == highestPort) {
        bound = bindPort(handle, localAddress, port);
    } else {
        bound = bindRandomPort(handle, localAddress, lowestPort, highestPort, port);
    }
    if (!bound) {
        platform::closeSocket(handle);
        return nullptr;
    }
    if (port == 0) {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (::getsockname(handle, reinterpret_cast<sockaddr*>(&local), &length) == 0)
            port = ntohs(local.sin_port);
    }
    auto& socket = addToChain(
        chain, std::make_unique<AsyncUdpSocket>(chain, bufferSize, port, std::move(onDatagram),
                                                std::move(onSendDone)));
    attachSocket(socket, handle);
    return &socket;
}

int joinGroup(AsyncUdpSocket& socket, uint32_t interfaceAddress, uint32_t group) {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = group;
    request.imr_interface.s_addr = interfaceAddress;
    const int result =
        ::setsockopt(socket.handle(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
    socket.setLocalAddressOverride(result == 0 ? interfaceAddress : 0);
    return result == 0 ? 0 : -1;
}

int setMulticastInterface(AsyncUdpSocket& socket, uint32_t interfaceAddress) {
    in_addr interface {};
    interface.s_addr = interfaceAddress;
    return ::setsockopt(socket.handle(), IPPROTO_IP, IP_MULTICAST_IF, &interface,
                        sizeof interface) == 0
               ? 0
               : -1;
}

int setMulticastTtl(AsyncUdpSocket& socket, uint8_t ttl) {
    const unsigned char value = ttl;
    return ::setsockopt(socket.handle(), IPPROTO_IP, IP_MULTICAST_TTL, &value, sizeof value) == 0
               ? 0
               : -1;
}

int setReceiveBufferSize(AsyncUdpSocket& socket, int bytes) {
    const int handle = socket.handle();
    // The forcing variant passes the system's limit when the process may (as in the test
    // namespace); otherwise the request is capped at that limit.
    if (::setsockopt(handle, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0 &&
        ::setsockopt(handle, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0)
        return -1;
    int granted = 0;
    socklen_t length = sizeof granted;
    if (::getsockopt(handle, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return -1;
    return granted;
}

}  // namespace upnp
