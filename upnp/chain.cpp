#include "upnp/chain.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "upnp/chain_wait.h"
#include "upnp/lifetime_monitor.h"

namespace upnp {
namespace {

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
    closeWakeSignal(wakeFd_);
}

std::unique_ptr<Chain> createChain(Clock& clock) {
    const int wakeFd = openWakeSignal();
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
    if (woken)
        drainWakeSignal(wakeFd_);

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
    raiseWakeSignal(chain.wakeFd_);
}

int runOnePass(Chain& chain, int maxWaitMs) {
    return chain.runPass(maxWaitMs);
}

}  // namespace upnp
