// Feeds arbitrary bytes to the URL splitter and checks that host and path are pieces of the
// input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "upnp/uri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const upnp::Uri uri = upnp::parseUri(input);
    if (uri.host.size() > input.size() || uri.path.size() > input.size())
        std::abort();
    if (!uri.host.empty() && input.find(uri.host) == std::string_view::npos)
        std::abort();
    if (!uri.path.empty() && (uri.path[0] != '/' || !input.ends_with(uri.path)))
        std::abort();
    return 0;
}
