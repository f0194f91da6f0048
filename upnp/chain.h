#pragma once

// The event chain: the one loop on which every socket, timer and callback of the control-point
// stack runs. Each module is a `ChainObject`, registered once; every pass calls each object's
// `preSelect` (in registration order) to collect the sockets to wait on and to shorten the wait,
// waits, then calls each object's `postSelect` (same order) with the sockets that are ready.
//
// Threads: one thread runs the chain (`startChain`, or `runOnePass` in tests) and all hooks run on
// it. Other threads may call only `stopChain`, `unblockChain`, `addToChain`, `isTerminating`,
// `isRunning`, `onChainThread` and the documented thread-safe operations of the modules (which
// post their work and then unblock the chain). Several unblocks before one wake-up are handled
// in one pass.
//
// Ownership: the chain owns its objects from `addToChain` on. When the chain ends each object's
// `destroy` hook runs (in registration order) and the object is deleted. `removeFromChain` lets
// an object go earlier, even from inside one of its own callbacks: it is reclaimed at the end of
// the pass, never while one of its hooks is on the stack.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "upnp/clock.h"
#include "upnp/socket_set.h"

namespace upnp {

class LifetimeMonitor;

// Base of everything that lives on the chain. All hooks run on the chain thread.
class ChainObject {
  public:
    virtual ~ChainObject() = default;

    // Adds sockets to `sets`; lowers `waitMs` (never raises it) when the object must run sooner.
    virtual void preSelect(SocketSets& sets, int& waitMs) {
        (void)sets;
        (void)waitMs;
    }
    // `result` is the number of ready memberships of the whole pass (0 after a time-out, -1
    // after a failed wait, in which case `ready` is empty). `ready` holds only what this object
    // put in the sets in this pass's `preSelect` and is ready; an object added during the pass
    // is not called until the next one.
    virtual void postSelect(int result, const SocketSets& ready) {
        (void)result;
        (void)ready;
    }
    // Releases what the object holds outside itself before the chain deletes it.
    virtual void destroy() {}
};

class Chain {
  public:
    // The wait of a pass when no object asks for less: one day.
    static constexpr int kWaitBudgetMs = 86'400'000;

    // Use `createChain`.
    Chain(Clock& clock, int wakeFd);
    ~Chain();
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    Clock& clock() const { return clock_; }
    // The chain's own timer monitor, its first object.
    LifetimeMonitor& lifetimeMonitor() const { return *monitor_; }

    // Set by `stopChain`; never cleared.
    bool isTerminating() const { return terminate_.load(); }
    // Set when `startChain` begins; never cleared.
    bool isRunning() const { return running_.load(); }
    // True while the objects are being destroyed at the end of the chain.
    bool isEnding() const { return ending_.load(); }
    // True on the thread that runs (or last ran) the passes.
    bool onChainThread() const { return loopThread_.load() == std::this_thread::get_id(); }

  private:
    friend ChainObject& addToChain(Chain&, std::unique_ptr<ChainObject>);
    friend void removeFromChain(Chain&, ChainObject&);
    friend void startChain(Chain&);
    friend void stopChain(Chain&);
    friend void unblockChain(Chain&);
    friend std::unique_ptr<Chain> createChain(Clock&);
    friend int runOnePass(Chain&, int);

    struct Entry {
        std::unique_ptr<ChainObject> object;
        bool removed = false;
    };
    // An object polled in the current pass and the memberships it is waiting on.
    struct Polled {
        ChainObject* object;
        SocketSets wanted;
    };

    int runPass(int maxWaitMs);
    std::vector<ChainObject*> liveObjects();
    void reclaimRemoved();
    void destroyAll();

    Clock& clock_;
    const int wakeFd_;
    LifetimeMonitor* monitor_ = nullptr;
    std::atomic<bool> terminate_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> ending_{false};
    std::atomic<std::thread::id> loopThread_{};
    bool inPass_ = false;

    std::mutex objectsMutex_;
    std::vector<Entry> objects_;
};

// Creates a chain on `clock` (which must outlive it) with its lifetime monitor as first object.
// Null only when the system refuses the wake-up descriptor.
std::unique_ptr<Chain> createChain(Clock& clock = systemClock());

// Appends `object`; it takes part from the next pass on. Any thread. Returns the object.
ChainObject& addToChain(Chain& chain, std::unique_ptr<ChainObject> object);
template <class T>
T& addToChain(Chain& chain, std::unique_ptr<T> object) {
    T& added = *object;
    addToChain(chain, std::unique_ptr<ChainObject>(std::move(object)));
    return added;
}

// Chain thread only: destroys and deletes `object` at the end of the current pass (at once when
// no pass is running). Its hooks are not called again.
void removeFromChain(Chain& chain, ChainObject& object);

// Runs passes on the calling thread until `stopChain`; the pass in progress when it is stopped
// finishes. Then destroys every object (the chain itself stays valid, empty). Stopped before it
// starts, it runs no pass.
void startChain(Chain& chain);

// Sets the terminate flag and wakes the chain. Any thread.
void stopChain(Chain& chain);

// Makes a wait in progress return at once, or the next pass not wait. Any thread.
void unblockChain(Chain& chain);

// Runs exactly one pass whose wait lasts at most `maxWaitMs` (0: only looks). For tests that
// drive the chain themselves, with a `ManualClock`. Returns the pass's wait result.
int runOnePass(Chain& chain, int maxWaitMs);

}  // namespace upnp
