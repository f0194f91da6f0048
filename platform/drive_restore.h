#pragma once

// Bringing remembered connections back, as at a desktop sign-in: each connection remembered in
// the per-user store is connected again (and mounted where GVfs runs) with the credential stored
// for its server, once. A connection whose credential is gone, or whose server does not answer,
// is skipped and stays remembered for the next time. Any thread.

#include <string>
#include <vector>

#include "platform/smb_network_provider.h"

namespace platform {

struct RestoreOutcome {
    std::u16string localName;
    std::u16string remoteName;
    WinError error = kNoError;  // kErrorNoCredential when none is stored for the server
};

// What a remembered connection of a named user answers when no credential is stored for its
// server.
inline constexpr WinError kErrorNoCredential = kErrorNoSuchLogonSession;

std::vector<RestoreOutcome> restoreRememberedConnections(SmbNetworkProvider& provider);

}  // namespace platform
