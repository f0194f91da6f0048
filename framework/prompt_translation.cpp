#include "framework/prompt_translation.h"

#include "framework/dictionary_language.h"
#include "framework/localization_dictionary.h"

namespace framework {

std::u16string TranslatePrompt(std::u16string_view prompt) {
    std::u16string translation;
    if (GetRuntimeDictionary().Translate(prompt, translation)) {
        return translation;
    }
    return std::u16string(prompt);
}

}  // namespace framework
