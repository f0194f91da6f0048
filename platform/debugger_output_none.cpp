#include "platform/debugger_output.h"

namespace platform {

void writeDebuggerOutput(std::u16string_view) {}

}  // namespace platform
