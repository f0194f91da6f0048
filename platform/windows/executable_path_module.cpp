// The running program's path from its module, as UTF-8.

#include <windows.h>

#include <vector>

#include "platform/executable_path.h"
#include "platform/utf.h"

namespace platform {

std::string executablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    while (buffer.size() <= 32768) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return utf16ToUtf8(std::u16string(buffer.begin(), buffer.begin() + length));
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace platform
