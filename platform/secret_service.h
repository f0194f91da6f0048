#pragma once

// libsecret behind the credential store. Credentials are items of the schema
// "org.drivescout.Credential" with the attributes type, target, user, flags and persist; the
// secret is the password as UTF-8. Calls block for at most a few seconds; any thread.

#include <string_view>

#include "platform/credential_store.h"

namespace platform {

// True when a Secret Service owns its name on the session bus (asked once per bus address,
// never starting one).
bool secretServiceAvailable();

WinError secretServiceStore(const Credential& credential, std::u16string_view password);
WinError secretServiceLookup(uint32_t type, std::u16string_view target, Credential& credential);
WinError secretServiceDelete(uint32_t type, std::u16string_view target);

}  // namespace platform
