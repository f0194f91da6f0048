// The loaders of the libraries opened on first use: each fills its table once, on the first call
// from any thread, and keeps the answer (a table, or null) for the life of the process.

#include "platform/gio_library.h"
#include "platform/secret_library.h"
#include "platform/shared_library.h"
#include "platform/smb_client_library.h"

namespace platform {

#define DS_BIND_FUNCTION(name) binder.bind(#name, table.name);
#define DS_DEFINE_LOADER(Table, loader, soname, FUNCTIONS)                                   \
    const Table* loader() {                                                                  \
        static const auto library = loadLibrary<Table>(                                      \
            soname, [](SymbolBinder& binder, Table& table) { FUNCTIONS(DS_BIND_FUNCTION) }); \
        return library.get();                                                                \
    }

DS_DEFINE_LOADER(SmbClientLibrary, smbClientLibrary, "libsmbclient.so.0", DS_SMB_CLIENT_FUNCTIONS)
DS_DEFINE_LOADER(GioLibrary, gioLibrary, "libgio-2.0.so.0", DS_GIO_FUNCTIONS)
DS_DEFINE_LOADER(SecretLibrary, secretLibrary, "libsecret-1.so.0", DS_SECRET_FUNCTIONS)

#undef DS_DEFINE_LOADER
#undef DS_BIND_FUNCTION

}  // namespace platform
