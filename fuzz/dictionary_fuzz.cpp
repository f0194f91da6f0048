// The merged-dictionary reader over arbitrary resource bytes, then every language it yields
// through the code-page conversion; and the string-table file parser of satellite files.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "framework/localization_dictionary.h"
#include "framework/merged_dictionary.h"
#include "platform/string_table_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    framework::CMergedLocalizationDictionary dictionary;
    if (framework::ReadMergedDictionary(dictionary, std::span(data, size))) {
        framework::CLocalizationDictionary runtime;
        for (const auto& [key, translations] : dictionary.Entries()) {
            for (const auto& [language, text] : translations) {
                (void)dictionary.ExtractLanguage(language, runtime);
            }
        }
        std::u16string out;
        (void)runtime.Translate(u"&Assign", out);
    }
    (void)platform::parseStringTableFile(
        std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
