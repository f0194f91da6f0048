// The per-user store and credential files are read back from disk, where anything may have
// been written to them: parsing must never crash, and what parses must survive a round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/user_store_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const platform::ParsedStore parsed = platform::parseStoreFile(text);
    if (parsed.damaged)
        return 0;
    const std::string once = platform::formatStoreFile(parsed.contents);
    const platform::ParsedStore again = platform::parseStoreFile(once);
    if (again.damaged || platform::formatStoreFile(again.contents) != once)
        std::abort();
    return 0;
}
