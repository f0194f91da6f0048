#include <windows.h>

#include <string>

#include "platform/debugger_output.h"

namespace platform {

void writeDebuggerOutput(std::u16string_view line) {
    const std::wstring wide(line.begin(), line.end());
    ::OutputDebugStringW(wide.c_str());
}

}  // namespace platform
