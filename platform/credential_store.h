#pragma once

// The credential store: domain-password credentials of network hosts, kept for the user.
// Through libsecret when a Secret Service answers on the session bus, else in a file
// (`$XDG_DATA_HOME/drivescout/credentials`, else `~/.local/share/drivescout/credentials`, mode
// 0600). DRIVESCOUT_CREDENTIAL_STORE=file chooses the file without asking the bus.
//
// The password is the credential's blob (its UTF-16 characters, two bytes each, little-endian,
// no terminating zero). It never appears in a trace line or an error text. Any thread may call.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_error.h"

namespace platform {

inline constexpr uint32_t kCredentialTypeDomainPassword = 2;
inline constexpr uint32_t kCredentialPersistEnterprise = 3;

struct Credential {
    uint32_t flags = 0;
    uint32_t type = kCredentialTypeDomainPassword;
    std::u16string targetName;
    std::u16string comment;
    std::vector<uint8_t> blob;
    uint32_t persist = kCredentialPersistEnterprise;
    std::u16string targetAlias;
    std::u16string userName;
};

// The blob of a password, and back (nothing for a blob of odd size).
std::vector<uint8_t> passwordBlob(std::u16string_view password);
std::optional<std::u16string> passwordFromBlob(const std::vector<uint8_t>& blob);

// Stores `credential`, replacing one of the same type and target. Returns 0, or the platform
// code of the failure (kErrorInvalidParameter for an empty target or an odd-sized blob).
WinError writeCredential(const Credential& credential);
// Reads back the credential of that type and target; kErrorFileNotFound (2) when there is none.
WinError readCredential(uint32_t type, std::u16string_view targetName, Credential& credential);
WinError deleteCredential(uint32_t type, std::u16string_view targetName);

// Which store `writeCredential` uses now: "secret-service" or "file".
std::string credentialBackendName();

}  // namespace platform
