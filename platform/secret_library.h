#pragma once

// libsecret's functions, from the library loaded on first use. The GLib and GIO functions that
// go with them are in gio_library.h.

#include <libsecret/secret.h>

namespace platform {

#define DS_SECRET_FUNCTIONS(X)                 \
    X(secret_password_storev_sync)             \
    X(secret_password_searchv_sync)            \
    X(secret_password_clearv_sync)             \
    X(secret_retrievable_retrieve_secret_sync) \
    X(secret_retrievable_get_attributes)       \
    X(secret_value_get_text)                   \
    X(secret_value_unref)

struct SecretLibrary {
#define DS_DECLARE_FUNCTION(name) decltype(&::name) name = nullptr;
    DS_SECRET_FUNCTIONS(DS_DECLARE_FUNCTION)
#undef DS_DECLARE_FUNCTION
};

// The functions, loading libsecret on the first call; null when it cannot be loaded (traced
// once). Any thread.
const SecretLibrary* secretLibrary();

}  // namespace platform
