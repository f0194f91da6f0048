#pragma once

// The debugger's output channel, where trace lines go whether or not they also go to stderr: on
// Windows OutputDebugStringW (read by a debugger or DebugView); Linux has no such channel and
// drops the line. One backend per system. Any thread.

#include <string_view>

namespace platform {

void writeDebuggerOutput(std::u16string_view line);

}  // namespace platform
