#pragma once

// The chain's wait and its wake-up signal, one backend per system: poll with an eventfd on
// Linux, select with a loopback datagram socket on Windows. The wake-up signal is a handle that
// becomes readable when raised and stays so until drained; raising it twice before a drain is
// one wake-up.

#include "upnp/socket_set.h"

namespace upnp {

// -1 when the system refuses one.
int openWakeSignal();
void closeWakeSignal(int wake);
// Any thread.
void raiseWakeSignal(int wake);
void drainWakeSignal(int wake);

// Waits on the union of the three sets plus the wake-up signal and leaves in `sets` only what is
// ready. Returns the number of ready memberships, 0 on time-out, -1 on failure (sets emptied);
// `woken` tells whether the wake-up signal was raised.
int waitOnSets(SocketSets& sets, int wake, int waitMs, bool& woken);

}  // namespace upnp
