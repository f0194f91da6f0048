#pragma once

// The real discovery stack: each chain is an event chain of the UPnP stack with a control point
// on it (upnp/control_point.h). It is the SDK's default stack.
//
// Threads: as `DiscoveryChain` states. The clock is borrowed and must outlive every chain made
// from the stack.

#include <memory>

#include "sdk/discovery_stack.h"
#include "upnp/clock.h"

namespace sdk {

class UpnpDiscoveryStack final : public DiscoveryStack {
  public:
    explicit UpnpDiscoveryStack(upnp::Clock& clock = upnp::systemClock()) : clock_(clock) {}
    std::shared_ptr<DiscoveryChain> createChain() override;

  private:
    upnp::Clock& clock_;
};

std::unique_ptr<DiscoveryStack> makeUpnpDiscoveryStack(upnp::Clock& clock = upnp::systemClock());

}  // namespace sdk
