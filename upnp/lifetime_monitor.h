#pragma once

// Timers on the chain. A monitor is a chain object whose `preSelect` fires the entries that are
// due and then shortens the chain's wait to the next one. Each module that needs timers makes its
// own monitor on the chain (or uses the chain's own, `Chain::lifetimeMonitor`).
//
// Rules: an entry is due once the clock has passed its expiry (now > expiry), so a 0 ms entry
// fires in the first pass after the clock moved on by a millisecond. Entries due in the same
// millisecond fire latest-added first. Expiries are monotonic 64-bit milliseconds (see clock.h).
//
// Threads: `lifetimeAdd`, `lifetimeRemove` and `lifetimeFlush` may be called from any thread
// and from inside a callback; callbacks and destroy functions run on the chain thread (those of
// `lifetimeRemove` / `lifetimeFlush` on the caller's thread), never with the monitor's locks held.
//
// The key of an entry is only compared, never dereferenced: it names the owner so that
// `lifetimeRemove` can cancel all of the owner's entries. An owner that goes away removes its
// entries first, so no timer fires into a dead owner.

#include <cstdint>
#include <functional>
#include <list>
#include <mutex>

#include "upnp/chain.h"

namespace upnp {

class LifetimeMonitor final : public ChainObject {
  public:
    using Callback = std::function<void()>;

    // Use `createLifetimeMonitor`.
    explicit LifetimeMonitor(Chain& chain) : chain_(chain) {}

    void preSelect(SocketSets& sets, int& waitMs) override;
    void destroy() override;

    // Number of entries waiting (tests and diagnostics).
    size_t pendingCount();

  private:
    friend void lifetimeAdd(LifetimeMonitor&, const void*, int64_t, Callback, Callback);
    friend void lifetimeRemove(LifetimeMonitor&, const void*);
    friend void lifetimeFlush(LifetimeMonitor&);

    struct Entry {
        int64_t expiryMs;
        const void* key;
        Callback callback;
        Callback destroy;  // may be empty
    };
    static void runDestroyFunctions(std::list<Entry>& removed);

    Chain& chain_;
    std::mutex mutex_;
    std::list<Entry> timers_;  // sorted by expiry, earliest first
    // Entries of the current pass that are due and not yet run. Removing a key takes its
    // entries out of here as well, so none fires once `lifetimeRemove` has returned.
    std::list<Entry> dispatching_;
};

// Makes a monitor and registers it on `chain`; the chain owns it.
LifetimeMonitor& createLifetimeMonitor(Chain& chain);

// Schedules `callback` for now + `ms` (negative counts as 0). `destroy` (may be empty) runs
// instead of the callback when the entry is removed or flushed. Wakes the chain when the entry
// becomes the earliest.
void lifetimeAdd(LifetimeMonitor& monitor, const void* key, int64_t ms,
                 LifetimeMonitor::Callback callback, LifetimeMonitor::Callback destroy = {});

// Cancels every entry of `key`, running their destroy functions, including entries that the
// current pass found due and has not run yet: once it returns, no entry of `key` fires (only a
// callback already running, on the chain thread, finishes).
void lifetimeRemove(LifetimeMonitor& monitor, const void* key);

// Cancels every entry, running destroy functions; no callback runs.
void lifetimeFlush(LifetimeMonitor& monitor);

}  // namespace upnp
