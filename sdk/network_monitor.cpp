// NetworkMonitorLoopThread: watches the computer's IPv4 address list while discovery runs and
// tells the control point of each change (CUPnPSDK::AddressesChanged), so that a NAS reachable
// through a new address is searched for again. The change reports come from an rtnetlink socket
// subscribed to the IPv4 address group; the thread waits on it and on the stop event together.

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/trace.h"
#include "sdk/upnp_sdk.h"

namespace {

// Owns the netlink socket for the thread's run.
struct NotifySocket {
    int fd = -1;
    ~NotifySocket() {
        if (fd >= 0)
            close(fd);
    }
};

void traceSubscriptionFailure(int error) {
    std::string line =
        ">>>CUPnPSDK::NetworkMonitorLoopThread WSAIoctl return " + std::to_string(error) + "\r\n";
    platform::traceNarrow(line);
}

// True when the queued messages held an address being added or deleted. Reads everything queued.
bool drainChanges(int fd) {
    bool changed = false;
    alignas(nlmsghdr) char buffer[8192];
    while (true) {
        ssize_t length = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (length < 0) {
            // An overrun lost messages: whatever they said, the list changed.
            if (errno == ENOBUFS)
                changed = true;
            break;
        }
        if (length == 0)
            break;
        size_t remaining = static_cast<size_t>(length);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_type == RTM_NEWADDR || header->nlmsg_type == RTM_DELADDR)
                changed = true;
        }
    }
    return changed;
}

}  // namespace

int32_t CUPnPSDK::NetworkMonitorLoopThread(std::shared_ptr<sdk::StopEvent> stop) {
    NotifySocket notify;
    notify.fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (notify.fd < 0)
        return 0;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_IPV4_IFADDR;
    bool subscribed = bind(notify.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    if (!subscribed)
        traceSubscriptionFailure(errno);
    if (!stop)
        return 0;

    while (true) {
        pollfd waits[2] = {{stop->fd(), POLLIN, 0}, {notify.fd, POLLIN, 0}};
        int ready = poll(waits, subscribed ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (stop->isSignalled())
            break;
        if (subscribed && (waits[1].revents & POLLIN) != 0 && drainChanges(notify.fd))
            AddressesChanged();
        if (subscribed && (waits[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            // An error on the socket (an overrun): report a change and carry on.
            drainChanges(notify.fd);
            AddressesChanged();
        }
    }
    return 0;
}
