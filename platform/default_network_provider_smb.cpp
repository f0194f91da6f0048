#include "platform/default_network_provider.h"
#include "platform/smb_network_provider.h"

namespace platform {

NetworkProvider& defaultNetworkProvider() {
    static SmbNetworkProvider provider;
    return provider;
}

}  // namespace platform
