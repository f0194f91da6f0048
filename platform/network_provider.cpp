#include "platform/network_provider.h"

#include <mutex>
#include <utility>

#include "platform/smb_network_provider.h"

namespace platform {
namespace {

std::mutex providerMutex;
std::unique_ptr<NetworkProvider> installedProvider;

NetworkProvider& defaultProvider() {
    static SmbNetworkProvider provider;
    return provider;
}

}  // namespace

NetworkProvider& networkProvider() {
    std::lock_guard lock(providerMutex);
    return installedProvider ? *installedProvider : defaultProvider();
}

std::unique_ptr<NetworkProvider> setNetworkProvider(std::unique_ptr<NetworkProvider> provider) {
    std::lock_guard lock(providerMutex);
    return std::exchange(installedProvider, std::move(provider));
}

}  // namespace platform
