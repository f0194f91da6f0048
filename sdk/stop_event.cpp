#include "sdk/stop_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace sdk {

namespace {

bool pollReadable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    for (;;) {
        int n = ::poll(&entry, 1, timeoutMs);
        if (n >= 0)
            return n > 0 && (entry.revents & POLLIN) != 0;
        if (errno != EINTR)
            return false;
    }
}

}  // namespace

StopEvent::StopEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

StopEvent::~StopEvent() {
    ::close(fd_);
}

void StopEvent::signal() {
    uint64_t one = 1;
    // The counter only grows, so the descriptor stays readable; a full counter is still readable.
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool StopEvent::isSignalled() const {
    return pollReadable(fd_, 0);
}

void StopEvent::wait() const {
    while (!pollReadable(fd_, -1)) {
    }
}

}  // namespace sdk
