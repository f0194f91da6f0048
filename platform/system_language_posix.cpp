#include <cstdlib>
#include <string_view>

#include "platform/system_language.h"

namespace platform {

std::uint16_t systemDefaultLangId() {
    auto read = [](const char* variable) -> std::string_view {
        const char* value = std::getenv(variable);
        return value ? std::string_view(value) : std::string_view();
    };
    return systemDefaultLangId(read("LC_ALL"), read("LC_MESSAGES"), read("LANG"));
}

}  // namespace platform
