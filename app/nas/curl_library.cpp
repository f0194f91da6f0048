#include "app/nas/curl_library.h"

#include "platform/shared_library.h"

namespace nas {

const CurlLibrary* curlLibrary() {
    static const auto library = platform::loadLibrary<CurlLibrary>(
        "libcurl.so.4", [](platform::SymbolBinder& binder, CurlLibrary& table) {
#define DS_BIND_FUNCTION(name) binder.bind(#name, table.name);
            DS_CURL_FUNCTIONS(DS_BIND_FUNCTION)
#undef DS_BIND_FUNCTION
        });
    return library.get();
}

}  // namespace nas
