#include "tools/dict/dictionary_dump.h"

#include <set>

#include "platform/code_page.h"
#include "platform/string_table_file.h"
#include "platform/utf.h"

namespace dict {
namespace {

std::string decode(unsigned codePage, const std::string& bytes) {
    return platform::escapeField(platform::utf16ToUtf8(platform::codePageToUtf16(codePage, bytes)));
}

std::string codeOf(const framework::CLanguage& language) {
    return language.IsValid() ? std::string(language.GetAsciiCode()) : std::string("???");
}

}  // namespace

std::string dumpDictionary(const framework::CMergedLocalizationDictionary& dictionary) {
    std::set<framework::CLanguage> languages;
    for (const auto& [key, translations] : dictionary.Entries()) {
        for (const auto& [language, text] : translations) {
            languages.insert(language);
        }
    }
    std::string out = "KEY";
    for (const framework::CLanguage& language : languages) {
        out += "\t" + codeOf(language);
    }
    out += "\n";
    for (const auto& [key, translations] : dictionary.Entries()) {
        out += decode(1252, key);
        for (const framework::CLanguage& language : languages) {
            out += "\t";
            if (auto it = translations.find(language); it != translations.end()) {
                out += decode(language.GetAnsiCodePage(), it->second);
            }
        }
        out += "\n";
    }
    return out;
}

std::string dumpLanguage(const framework::CMergedLocalizationDictionary& dictionary,
                         const framework::CLanguage& language) {
    std::string out;
    for (const auto& [key, translations] : dictionary.Entries()) {
        if (auto it = translations.find(language); it != translations.end()) {
            out += decode(1252, key) + "\t" + decode(language.GetAnsiCodePage(), it->second) + "\n";
        }
    }
    return out;
}

}  // namespace dict
