#pragma once

// libsmbclient's functions, from the library loaded on first use.

#include <libsmbclient.h>

namespace platform {

#define DS_SMB_CLIENT_FUNCTIONS(X)         \
    X(smbc_new_context)                    \
    X(smbc_init_context)                   \
    X(smbc_free_context)                   \
    X(smbc_setDebug)                       \
    X(smbc_setOptionUserData)              \
    X(smbc_getOptionUserData)              \
    X(smbc_setFunctionAuthDataWithContext) \
    X(smbc_setOptionUseKerberos)           \
    X(smbc_setOptionFallbackAfterKerberos) \
    X(smbc_setOptionUseCCache)             \
    X(smbc_setOptionNoAutoAnonymousLogin)  \
    X(smbc_setPort)                        \
    X(smbc_setTimeout)                     \
    X(smbc_getFunctionOpendir)             \
    X(smbc_getFunctionReaddir)             \
    X(smbc_getFunctionClosedir)

struct SmbClientLibrary {
#define DS_DECLARE_FUNCTION(name) decltype(&::name) name = nullptr;
    DS_SMB_CLIENT_FUNCTIONS(DS_DECLARE_FUNCTION)
#undef DS_DECLARE_FUNCTION
};

// The functions, loading libsmbclient on the first call; null when it cannot be loaded (traced
// once). Any thread.
const SmbClientLibrary* smbClientLibrary();

}  // namespace platform
