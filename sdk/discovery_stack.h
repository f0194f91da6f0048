#pragma once

// The narrow interface through which the SDK core reaches the UPnP control-point stack: an event
// chain with a control point on it. The core never sees sockets, timers or descriptions, only
// device records handed to its two handlers.
//
// The process has one current stack (`discoveryStack()`): the UPnP stack
// (sdk/upnp_discovery_stack.h) unless another is installed with `setDiscoveryStack`. The "no
// network" stack, whose chains report nothing and whose `startChain` simply blocks until
// `stopChain`, stays available for callers that want no network at all.

#include <functional>
#include <memory>

#include "upnp/device_record.h"

namespace sdk {

// Called on the chain thread with a record that is valid during the call only.
using DeviceHandler = std::function<void(const upnp::DeviceRecord* record)>;

// One event chain and the control point on it. Shared between the SDK core and the thread that
// runs it; it lives until both have let go.
class DiscoveryChain {
  public:
    virtual ~DiscoveryChain() = default;

    // Creates the control point on this chain; false when it cannot be made. From then on the
    // handlers are called on the chain thread for every device of an announced tree (added:
    // root first, then embedded devices depth first; removed: embedded devices first). Called
    // once, before `startChain`, on the caller's thread.
    virtual bool createControlPoint(DeviceHandler onDeviceAdded, DeviceHandler onDeviceRemoved) = 0;

    // Runs the chain on the calling thread; returns only after `stopChain`. When `stopChain` came
    // first, returns at once. Runs at most once per chain.
    virtual void startChain() = 0;

    // Sets the terminate flag and wakes the chain; returns at once. Any thread, any number of
    // times.
    virtual void stopChain() = 0;

    // The terminate flag: true once `stopChain` has been called. Any thread.
    virtual bool isTerminating() const = 0;

    // The computer's address list changed: the control point drops devices reached through lost
    // interfaces and searches again. Does nothing once terminating. Any thread; returns at once.
    virtual void addressesChanged() = 0;
};

class DiscoveryStack {
  public:
    virtual ~DiscoveryStack() = default;
    // A new chain, or null when it cannot be made. Caller's thread.
    virtual std::shared_ptr<DiscoveryChain> createChain() = 0;
};

// The current stack. Any thread; the reference stays valid until the next `setDiscoveryStack`.
DiscoveryStack& discoveryStack();
// Installs `stack` (null restores the default UPnP stack) and returns the one it replaced (null
// when the default was in use). Call only while no SDK session is registered.
std::unique_ptr<DiscoveryStack> setDiscoveryStack(std::unique_ptr<DiscoveryStack> stack);

// The "no network" stack on its own, for callers that wrap it.
std::unique_ptr<DiscoveryStack> makeNoNetworkStack();

}  // namespace sdk
