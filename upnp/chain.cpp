#include "upnp/chain.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "upnp/lifetime_monitor.h"

namespace upnp {
namespace {

struct PollEntry {
    bool read = false;
    bool write = false;
    bool error = false;
};

// Waits on the union of the three sets plus the wake-up descriptor and leaves in `sets` only what
// is ready. Returns the number of ready memberships, 0 on time-out, -1 on failure (sets emptied).
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

// The members of `from` that `keep` (given the set's member pointer and the descriptor) keeps.
template <class Keep>
SocketSets keepMembers(const SocketSets& from, Keep keep) {
    SocketSets kept;
    for (SocketSet SocketSets::*set : {&SocketSets::read, &SocketSets::write, &SocketSets::error}) {
        for (int fd : (from.*set).members()) {
            if (keep(set, fd))
                (kept.*set).add(fd);
        }
    }
    return kept;
}

// Adds `wanted` to `all` as far as the sets have room; returns the memberships that made it.
SocketSets joinFitting(SocketSets& all, const SocketSets& wanted) {
    return keepMembers(wanted,
                       [&](SocketSet SocketSets::*set, int fd) { return (all.*set).add(fd); });
}

// The memberships of `wanted` that are in `ready`.
SocketSets readyOf(const SocketSets& wanted, const SocketSets& ready) {
    return keepMembers(
        wanted, [&](SocketSet SocketSets::*set, int fd) { return (ready.*set).contains(fd); });
}

}  // namespace

Chain::Chain(Clock& clock, int wakeFd) : clock_(clock), wakeFd_(wakeFd) {}

Chain::~Chain() {
    destroyAll();
    ::close(wakeFd_);
}

std::unique_ptr<Chain> createChain(Clock& clock) {
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0)
        return nullptr;
    auto chain = std::make_unique<Chain>(clock, wakeFd);
    chain->monitor_ = &createLifetimeMonitor(*chain);
    return chain;
}

ChainObject& addToChain(Chain& chain, std::unique_ptr<ChainObject> object) {
    ChainObject& added = *object;
    std::lock_guard lock(chain.objectsMutex_);
    chain.objects_.push_back({std::move(object), false});
    return added;
}

void removeFromChain(Chain& chain, ChainObject& object) {
    if (&object == chain.monitor_)
        return;
    {
        std::lock_guard lock(chain.objectsMutex_);
        for (auto& entry : chain.objects_) {
            if (entry.object.get() == &object)
                entry.removed = true;
        }
    }
    if (!chain.inPass_)
        chain.reclaimRemoved();
}

std::vector<ChainObject*> Chain::liveObjects() {
    std::lock_guard lock(objectsMutex_);
    std::vector<ChainObject*> live;
    live.reserve(objects_.size());
    for (auto& entry : objects_)
        live.push_back(entry.object.get());
    return live;
}

void Chain::reclaimRemoved() {
    std::vector<std::unique_ptr<ChainObject>> gone;
    {
        std::lock_guard lock(objectsMutex_);
        for (auto& entry : objects_) {
            if (entry.removed)
                gone.push_back(std::move(entry.object));
        }
        std::erase_if(objects_, [](const Entry& entry) { return entry.object == nullptr; });
    }
    for (auto& object : gone)
        object->destroy();
}

void Chain::destroyAll() {
    ending_ = true;
    std::vector<std::unique_ptr<ChainObject>> all;
    {
        std::lock_guard lock(objectsMutex_);
        for (auto& entry : objects_)
            all.push_back(std::move(entry.object));
        objects_.clear();
    }
    // Every destroy hook runs before any object is deleted: a socket's destroy may still call
    // into an upper layer registered before it.
    for (auto& object : all)
        object->destroy();
    all.clear();
    monitor_ = nullptr;
}

int Chain::runPass(int maxWaitMs) {
    loopThread_ = std::this_thread::get_id();
    inPass_ = true;
    auto isRemoved = [this](ChainObject* object) {
        std::lock_guard lock(objectsMutex_);
        for (auto& entry : objects_) {
            if (entry.object.get() == object)
                return entry.removed;
        }
        return true;
    };

    // Only the objects polled in this pass are served after the wait, each with the readiness
    // of its own memberships: an object added during the pass waits for the next one, and a
    // descriptor number closed and reused by another object in between is not mistaken for it.
    std::vector<Polled> polled;
    SocketSets all;
    int waitMs = kWaitBudgetMs;
    for (ChainObject* object : liveObjects()) {
        if (isRemoved(object))
            continue;
        SocketSets wanted;
        object->preSelect(wanted, waitMs);
        polled.push_back({object, joinFitting(all, wanted)});
    }
    waitMs = std::clamp(waitMs, 0, std::max(maxWaitMs, 0));

    bool woken = false;
    const int result = waitOnSets(all, wakeFd_, waitMs, woken);
    if (woken) {
        uint64_t drained = 0;
        while (::read(wakeFd_, &drained, sizeof drained) > 0) {
        }
    }

    for (const Polled& entry : polled) {
        if (!isRemoved(entry.object))
            entry.object->postSelect(result, readyOf(entry.wanted, all));
    }
    inPass_ = false;
    reclaimRemoved();
    return result;
}

void startChain(Chain& chain) {
    chain.running_ = true;
    while (!chain.terminate_)
        chain.runPass(Chain::kWaitBudgetMs);
    chain.destroyAll();
}

void stopChain(Chain& chain) {
    chain.terminate_ = true;
    unblockChain(chain);
}

void unblockChain(Chain& chain) {
    const uint64_t one = 1;
    // A full counter (never in practice) still leaves the descriptor readable: nothing to do.
    [[maybe_unused]] ssize_t written = ::write(chain.wakeFd_, &one, sizeof one);
}

int runOnePass(Chain& chain, int maxWaitMs) {
    return chain.runPass(maxWaitMs);
}

}  // namespace upnp
