// The NAS's answer to the user-list request, as the client takes it: read in chunks cut at zero
// bytes, passed through wide text, parsed as XML for "username" attributes.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/nas/nas_web_api.h"
#include "platform/utf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const std::string text = platform::utf16ToUtf8(platform::utf8ToUtf16(nas::TakeBodyChunks(raw)));
    std::vector<LBString> users;
    if (nas::ParseUserList(text, users) == 0 && !users.empty())
        __builtin_trap();  // a refused answer must leave the list alone
    for (const LBString& user : users)
        if (user.IsEmpty())
            __builtin_trap();  // empty names are skipped
    return 0;
}
