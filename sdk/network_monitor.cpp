// NetworkMonitorLoopThread: watches the computer's address list while discovery runs and tells the
// control point of each change (CUPnPSDK::AddressesChanged). This version only waits for the stop
// event; the address watcher replaces this file.

#include "sdk/upnp_sdk.h"

int32_t CUPnPSDK::NetworkMonitorLoopThread(std::shared_ptr<sdk::StopEvent> stop) {
    if (!stop)
        return -1;
    stop->wait();
    return 0;
}
