#pragma once

// Time for the event chain and its timers: a monotonic 64-bit millisecond count. Timers never
// look at the wall clock, so setting the system clock neither fires nor freezes them, and the
// count does not wrap in any lifetime of the process.
//
// The chain and every lifetime monitor borrow a `Clock`; it must outlive them. Tests use a
// `ManualClock` and move it forward themselves, so timer tests never sleep.

#include <atomic>
#include <cstdint>

namespace upnp {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed point; never goes back. Safe from any thread.
    virtual int64_t nowMs() const = 0;
};

// The process's monotonic clock (CLOCK_MONOTONIC).
class SteadyClock final : public Clock {
  public:
    int64_t nowMs() const override;
};

// The shared steady clock that chains use unless they are given another.
Clock& systemClock();

// A clock that only moves when told to. Safe from any thread.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(int64_t startMs = 1'000'000) : now_(startMs) {}
    int64_t nowMs() const override { return now_.load(); }
    void advance(int64_t ms) { now_.fetch_add(ms); }
    void set(int64_t ms) { now_.store(ms); }

  private:
    std::atomic<int64_t> now_;
};

}  // namespace upnp
