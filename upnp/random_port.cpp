#include "upnp/random_port.h"

#include <mutex>
#include <random>

namespace upnp {

uint16_t randomPort(uint16_t lowest, uint16_t highest) {
    if (highest <= lowest)
        return lowest;
    static std::mutex mutex;
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(lowest, highest - 1);
    std::lock_guard lock(mutex);
    return static_cast<uint16_t>(pick(generator));
}

}  // namespace upnp
