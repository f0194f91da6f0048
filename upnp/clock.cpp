#include "upnp/clock.h"

#include <chrono>

namespace upnp {

int64_t SteadyClock::nowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Clock& systemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace upnp
