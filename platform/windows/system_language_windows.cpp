// The system's language is the user's user-interface language, as Windows reports it.

#include <windows.h>

#include "platform/system_language.h"

namespace platform {

std::uint16_t systemDefaultLangId() {
    const LANGID language = ::GetUserDefaultUILanguage();
    return language != 0 ? language : kLangIdEnglishUnitedStates;
}

}  // namespace platform
