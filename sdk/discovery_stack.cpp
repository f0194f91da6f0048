#include "sdk/discovery_stack.h"

#include <condition_variable>
#include <mutex>

#include "sdk/upnp_discovery_stack.h"

namespace sdk {

namespace {

// A chain without sockets: it reports no device and just waits to be stopped.
class NoNetworkChain final : public DiscoveryChain {
  public:
    bool createControlPoint(DeviceHandler, DeviceHandler) override { return true; }

    void startChain() override {
        std::unique_lock lock(mutex_);
        stopped_.wait(lock, [this] { return terminating_; });
    }

    void stopChain() override {
        {
            std::lock_guard lock(mutex_);
            terminating_ = true;
        }
        stopped_.notify_all();
    }

    bool isTerminating() const override {
        std::lock_guard lock(mutex_);
        return terminating_;
    }

    void addressesChanged() override {}

  private:
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool terminating_ = false;
};

class NoNetworkStack final : public DiscoveryStack {
  public:
    std::shared_ptr<DiscoveryChain> createChain() override {
        return std::make_shared<NoNetworkChain>();
    }
};

std::mutex g_stackMutex;
std::unique_ptr<DiscoveryStack> g_installed;

DiscoveryStack& defaultStack() {
    static UpnpDiscoveryStack stack;
    return stack;
}

}  // namespace

DiscoveryStack& discoveryStack() {
    std::lock_guard lock(g_stackMutex);
    return g_installed ? *g_installed : defaultStack();
}

std::unique_ptr<DiscoveryStack> setDiscoveryStack(std::unique_ptr<DiscoveryStack> stack) {
    std::lock_guard lock(g_stackMutex);
    std::swap(stack, g_installed);
    return stack;
}

std::unique_ptr<DiscoveryStack> makeNoNetworkStack() {
    return std::make_unique<NoNetworkStack>();
}

}  // namespace sdk
