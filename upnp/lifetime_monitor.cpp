#include "upnp/lifetime_monitor.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace upnp {

LifetimeMonitor& createLifetimeMonitor(Chain& chain) {
    return addToChain(chain, std::make_unique<LifetimeMonitor>(chain));
}

void lifetimeAdd(LifetimeMonitor& monitor, const void* key, int64_t ms,
                 LifetimeMonitor::Callback callback, LifetimeMonitor::Callback destroy) {
    const int64_t expiry = monitor.chain_.clock().nowMs() + std::max<int64_t>(ms, 0);
    bool becameHead = false;
    {
        std::lock_guard lock(monitor.timersMutex_);
        auto& timers = monitor.timers_;
        // Before the first entry that is not earlier: same-millisecond entries run latest first.
        auto at = std::find_if(timers.begin(), timers.end(),
                               [&](const auto& entry) { return entry.expiryMs >= expiry; });
        at = timers.insert(at, {expiry, key, std::move(callback), std::move(destroy)});
        becameHead = at == timers.begin();
    }
    if (becameHead)
        unblockChain(monitor.chain_);
}

void lifetimeRemove(LifetimeMonitor& monitor, const void* key) {
    std::list<LifetimeMonitor::Entry> removed;
    {
        std::lock_guard lock(monitor.timersMutex_);
        auto& timers = monitor.timers_;
        for (auto it = timers.begin(); it != timers.end();) {
            auto next = std::next(it);
            if (it->key == key)
                removed.splice(removed.end(), timers, it);
            it = next;
        }
        if (removed.empty()) {
            std::lock_guard removalsLock(monitor.removalsMutex_);
            monitor.pendingRemovals_.push_back(key);
        }
    }
    for (auto& entry : removed) {
        if (entry.destroy)
            entry.destroy();
    }
}

void lifetimeFlush(LifetimeMonitor& monitor) {
    std::list<LifetimeMonitor::Entry> removed;
    {
        std::lock_guard lock(monitor.timersMutex_);
        removed.splice(removed.end(), monitor.timers_);
    }
    for (auto& entry : removed) {
        if (entry.destroy)
            entry.destroy();
    }
}

size_t LifetimeMonitor::pendingCount() {
    std::lock_guard lock(timersMutex_);
    return timers_.size();
}

void LifetimeMonitor::preSelect(SocketSets&, int& waitMs) {
    const int64_t now = chain_.clock().nowMs();
    std::list<Entry> due;
    {
        std::lock_guard lock(timersMutex_);
        std::lock_guard removalsLock(removalsMutex_);
        pendingRemovals_.clear();
        // The list is sorted, so the due entries are a prefix.
        auto end = std::find_if(timers_.begin(), timers_.end(),
                                [&](const Entry& entry) { return entry.expiryMs >= now; });
        due.splice(due.end(), timers_, timers_.begin(), end);
    }
    for (auto& entry : due) {
        bool cancelled = false;
        {
            std::lock_guard removalsLock(removalsMutex_);
            auto tail = std::remove(pendingRemovals_.begin(), pendingRemovals_.end(), entry.key);
            cancelled = tail != pendingRemovals_.end();
            pendingRemovals_.erase(tail, pendingRemovals_.end());
        }
        if (cancelled) {
            if (entry.destroy)
                entry.destroy();
        } else {
            entry.callback();
        }
    }
    std::lock_guard lock(timersMutex_);
    if (!timers_.empty()) {
        const int64_t untilHead = std::max<int64_t>(timers_.front().expiryMs - now, 0);
        if (untilHead < waitMs)
            waitMs = static_cast<int>(untilHead);
    }
}

void LifetimeMonitor::destroy() {
    lifetimeFlush(*this);
}

}  // namespace upnp
