#include "app/load_text.h"

#include <string>

#include "framework/localization.h"

LBString LoadText(std::uint32_t id) {
    std::u16string text;
    // Without a localization object the text is still loaded, only untranslated; a missing
    // entry leaves `text` empty.
    framework::LoadLocalizedString(text, id);
    return LBString::FromUtf16(text);
}
