#include "upnp/chain_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace upnp {
namespace {

struct PollEntry {
    bool read = false;
    bool write = false;
    bool error = false;
};

}  // namespace

int waitOnSets(SocketSets& sets, int wakeFd, int waitMs, bool& woken) {
    std::vector<pollfd> fds;
    std::vector<PollEntry> wanted;
    auto slot = [&](int fd) -> size_t {
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd == fd)
                return i;
        }
        fds.push_back({fd, 0, 0});
        wanted.push_back({});
        return fds.size() - 1;
    };
    for (int fd : sets.read.members()) {
        size_t i = slot(fd);
        fds[i].events |= POLLIN;
        wanted[i].read = true;
    }
    for (int fd : sets.write.members()) {
        size_t i = slot(fd);
        fds[i].events |= POLLOUT;
        wanted[i].write = true;
    }
    for (int fd : sets.error.members())
        wanted[slot(fd)].error = true;  // errors are always reported by poll
    fds.push_back({wakeFd, POLLIN, 0});

    woken = false;
    sets.clear();
    const int count = ::poll(fds.data(), fds.size(), waitMs);
    if (count < 0)
        return -1;
    woken = (fds.back().revents & POLLIN) != 0;
    fds.pop_back();

    int ready = 0;
    for (size_t i = 0; i < fds.size(); ++i) {
        const short got = fds[i].revents;
        if (wanted[i].read && (got & (POLLIN | POLLHUP | POLLERR)))
            ready += sets.read.add(fds[i].fd);
        if (wanted[i].write && (got & (POLLOUT | POLLHUP | POLLERR)))
            ready += sets.write.add(fds[i].fd);
        if (wanted[i].error && (got & (POLLERR | POLLNVAL)))
            ready += sets.error.add(fds[i].fd);
    }
    return ready;
}

int openWakeSignal() {
    return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

void closeWakeSignal(int wake) {
    ::close(wake);
}

void raiseWakeSignal(int wake) {
    const uint64_t one = 1;
    // A full counter (never in practice) still leaves the descriptor readable: nothing to do.
    [[maybe_unused]] ssize_t written = ::write(wake, &one, sizeof one);
}

void drainWakeSignal(int wake) {
    uint64_t drained = 0;
    while (::read(wake, &drained, sizeof drained) > 0) {
    }
}

}  // namespace upnp
