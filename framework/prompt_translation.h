#pragma once

// The translation of a message-box prompt, for the application object's DoMessageBox: the
// prompt as the runtime dictionary translates it (exact text, then without its "&"), or the
// prompt unchanged. Independent of the localization type: with no language selected every
// prompt comes back as passed. User-interface thread.

#include <string>
#include <string_view>

namespace framework {

std::u16string TranslatePrompt(std::u16string_view prompt);

}  // namespace framework
