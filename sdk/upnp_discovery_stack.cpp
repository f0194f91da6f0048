#include "sdk/upnp_discovery_stack.h"

#include <atomic>

#include "upnp/chain.h"
#include "upnp/control_point.h"

namespace sdk {

namespace {

// Hands an address change from any thread to the control point on the chain thread, so that
// no other thread ever touches the control point, which the chain deletes when it ends.
class AddressChangeRelay final : public upnp::ChainObject {
  public:
    AddressChangeRelay(std::shared_ptr<std::atomic<bool>> pending, upnp::ControlPoint& controlPoint)
        : pending_(std::move(pending)), controlPoint_(controlPoint) {}

    void preSelect(upnp::SocketSets&, int&) override {
        if (pending_->exchange(false))
            upnp::controlPointAddressesChanged(controlPoint_);
    }

  private:
    std::shared_ptr<std::atomic<bool>> pending_;
    upnp::ControlPoint& controlPoint_;
};

class UpnpDiscoveryChain final : public DiscoveryChain {
  public:
    explicit UpnpDiscoveryChain(std::unique_ptr<upnp::Chain> chain) : chain_(std::move(chain)) {}

    bool createControlPoint(DeviceHandler onDeviceAdded, DeviceHandler onDeviceRemoved) override {
        if (hasControlPoint_)
            return false;
        try {
            upnp::ControlPoint& controlPoint = *upnp::createControlPoint(
                *chain_, std::move(onDeviceAdded), std::move(onDeviceRemoved));
            upnp::addToChain(*chain_, std::make_unique<AddressChangeRelay>(pending_, controlPoint));
            hasControlPoint_ = true;
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    void startChain() override { upnp::startChain(*chain_); }

    void stopChain() override { upnp::stopChain(*chain_); }

    bool isTerminating() const override { return chain_->isTerminating(); }

    void addressesChanged() override {
        if (chain_->isTerminating())
            return;
        pending_->store(true);
        upnp::unblockChain(*chain_);
    }

  private:
    std::unique_ptr<upnp::Chain> chain_;
    std::shared_ptr<std::atomic<bool>> pending_ = std::make_shared<std::atomic<bool>>(false);
    bool hasControlPoint_ = false;
};

}  // namespace

std::shared_ptr<DiscoveryChain> UpnpDiscoveryStack::createChain() {
    std::unique_ptr<upnp::Chain> chain = upnp::createChain(clock_);
    if (!chain)
        return nullptr;
    return std::make_shared<UpnpDiscoveryChain>(std::move(chain));
}

std::unique_ptr<DiscoveryStack> makeUpnpDiscoveryStack(upnp::Clock& clock) {
    return std::make_unique<UpnpDiscoveryStack>(clock);
}

}  // namespace sdk
