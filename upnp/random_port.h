#pragma once

// Random local ports for the stack's sockets, from a generator seeded once by the system's
// random source. Safe from any thread.

#include <cstdint>

namespace upnp {

// A port p with lowest <= p < highest; `lowest` when the range is empty.
uint16_t randomPort(uint16_t lowest, uint16_t highest);

// The range of local ports of outgoing connections and of a server given port 0.
inline constexpr uint16_t kRandomPortLowest = 50000;
inline constexpr uint16_t kRandomPortHighest = 65000;

// Tries before a bind on a random port gives up (a fixed interface address that is not local
// would otherwise be retried for ever).
inline constexpr int kRandomPortTries = 64;

}  // namespace upnp
