#pragma once

// The system's own network provider, used while no other is installed: the SMB provider on
// Linux, the Windows network (WNet) on Windows. One backend per system.

#include "platform/network_provider.h"

namespace platform {

NetworkProvider& defaultNetworkProvider();

}  // namespace platform
