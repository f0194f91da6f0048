#pragma once

// The schema of the credential items in the Secret Service (secret_service.h), for code that
// reads or writes those items with libsecret directly.

#include <libsecret/secret.h>

namespace platform {

const SecretSchema* credentialSecretSchema();

}  // namespace platform
