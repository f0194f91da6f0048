#include "platform/network_provider.h"

#include <mutex>
#include <utility>

#include "platform/default_network_provider.h"

namespace platform {
namespace {

std::mutex providerMutex;
std::unique_ptr<NetworkProvider> installedProvider;

}  // namespace

NetworkProvider& networkProvider() {
    std::lock_guard lock(providerMutex);
    return installedProvider ? *installedProvider : defaultNetworkProvider();
}

std::unique_ptr<NetworkProvider> setNetworkProvider(std::unique_ptr<NetworkProvider> provider) {
    std::lock_guard lock(providerMutex);
    return std::exchange(installedProvider, std::move(provider));
}

}  // namespace platform
