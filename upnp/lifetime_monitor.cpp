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
        std::lock_guard lock(monitor.mutex_);
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

void LifetimeMonitor::runDestroyFunctions(std::list<Entry>& removed) {
    for (auto& entry : removed) {
        if (entry.destroy)
            entry.destroy();
    }
}

void lifetimeRemove(LifetimeMonitor& monitor, const void* key) {
    std::list<LifetimeMonitor::Entry> removed;
    {
        std::lock_guard lock(monitor.mutex_);
        for (auto* list : {&monitor.dispatching_, &monitor.timers_}) {
            for (auto it = list->begin(); it != list->end();) {
                auto next = std::next(it);
                if (it->key == key)
                    removed.splice(removed.end(), *list, it);
                it = next;
            }
        }
    }
    LifetimeMonitor::runDestroyFunctions(removed);
}

void lifetimeFlush(LifetimeMonitor& monitor) {
    std::list<LifetimeMonitor::Entry> removed;
    {
        std::lock_guard lock(monitor.mutex_);
        removed.splice(removed.end(), monitor.dispatching_);
        removed.splice(removed.end(), monitor.timers_);
    }
    LifetimeMonitor::runDestroyFunctions(removed);
}

size_t LifetimeMonitor::pendingCount() {
    std::lock_guard lock(mutex_);
    return timers_.size() + dispatching_.size();
}

void LifetimeMonitor::preSelect(SocketSets&, int& waitMs) {
    const int64_t now = chain_.clock().nowMs();
    {
        std::lock_guard lock(mutex_);
        // The list is sorted, so the due entries are a prefix.
        auto end = std::find_if(timers_.begin(), timers_.end(),
                                [&](const Entry& entry) { return entry.expiryMs >= now; });
        dispatching_.splice(dispatching_.end(), timers_, timers_.begin(), end);
    }
    for (;;) {
        std::list<Entry> next;
        {
            std::lock_guard lock(mutex_);
            if (dispatching_.empty())
                break;
            next.splice(next.end(), dispatching_, dispatching_.begin());
        }
        next.front().callback();
    }
    std::lock_guard lock(mutex_);
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
