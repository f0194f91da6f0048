#pragma once

// The three socket sets a chain pass waits on (read, write, error). Each set holds at most 64
// sockets, which bounds how many sockets the whole stack can wait on at once; adding to a full
// set is refused and that socket is simply not waited on in this pass. The wait underneath is
// `poll`, so descriptor numbers are not limited (the stack may live in a process with thousands
// of open files).

#include <algorithm>
#include <cstddef>
#include <vector>

namespace upnp {

class SocketSet {
  public:
    static constexpr size_t kCapacity = 64;

    // False when the set is full or `fd` is negative; adding a member again is a no-op (true).
    bool add(int fd) {
        if (fd < 0)
            return false;
        if (contains(fd))
            return true;
        if (fds_.size() >= kCapacity)
            return false;
        fds_.push_back(fd);
        return true;
    }
    bool contains(int fd) const { return std::find(fds_.begin(), fds_.end(), fd) != fds_.end(); }
    void clear() { fds_.clear(); }
    size_t size() const { return fds_.size(); }
    bool empty() const { return fds_.empty(); }
    const std::vector<int>& members() const { return fds_; }

  private:
    std::vector<int> fds_;
};

// Before the wait the hooks fill these with what they want to wait for; after the wait they hold
// only the sockets that are ready, the way `select` leaves its sets.
struct SocketSets {
    SocketSet read;
    SocketSet write;
    SocketSet error;

    void clear() {
        read.clear();
        write.clear();
        error.clear();
    }
};

}  // namespace upnp
