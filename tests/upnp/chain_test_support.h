#pragma once

// Helpers for tests that run the event chain: a watchdog that fails a test instead of letting it
// hang, and a loop that runs passes until a condition holds.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "upnp/chain.h"

namespace upnp::test {

// Aborts the test process (a failure, never a hang) when it is still alive after `limit`.
class Watchdog {
  public:
    explicit Watchdog(std::chrono::milliseconds limit = std::chrono::seconds(20))
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "watchdog: test still running after %lld ms\n",
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// Runs passes (each waiting at most 20 ms of real time) until `condition` holds; false when it
// still does not after `limit` of real time.
inline bool runUntil(Chain& chain, const std::function<bool()>& condition,
                     std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        runOnePass(chain, 20);
    }
    return true;
}

// Runs `passes` passes that do not wait.
inline void runPasses(Chain& chain, int passes) {
    for (int i = 0; i < passes; ++i)
        runOnePass(chain, 0);
}

}  // namespace upnp::test
