#pragma once

// The full path of the running program. Any thread.

#include <string>

namespace platform {

// Empty when the system cannot tell.
std::string executablePath();

}  // namespace platform
