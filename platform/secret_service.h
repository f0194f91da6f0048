#pragma once

// libsecret behind the credential store. Credentials are items of the schema
// "org.drivescout.Credential" with the attributes type, target, user, flags and persist; the
// secret is the password as UTF-8. Calls block for at most a few seconds; any thread.

#include <optional>
#include <string>
#include <string_view>

#include "platform/credential_store.h"

namespace platform {

// True when a Secret Service owns its name on the session bus (asked once per bus address,
// never starting one).
bool secretServiceAvailable();

WinError secretServiceStore(const Credential& credential, std::u16string_view password);
WinError secretServiceLookup(uint32_t type, std::u16string_view target, Credential& credential);
WinError secretServiceDelete(uint32_t type, std::u16string_view target);

// The password a secret holds: its text (`secret_value_get_text`), when it is text at all (not
// null, valid UTF-8); a secret of any other kind holds no password.
std::optional<std::u16string> passwordOfSecretText(const char* text);

}  // namespace platform
