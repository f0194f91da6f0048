#include "tools/dict/dictionary_compiler.h"

#include <algorithm>
#include <set>

#include "framework/archive.h"
#include "platform/code_page.h"
#include "platform/utf.h"

namespace dict {
namespace {

constexpr unsigned kKeyCodePage = 1252;

std::string at(std::size_t line, std::string_view what) {
    return "line " + std::to_string(line) + ": " + std::string(what);
}

bool isConversionLetter(char c) {
    return std::string_view("diouxXeEfFgGaAcspn").find(c) != std::string_view::npos;
}

std::string joined(const std::vector<std::string>& tokens) {
    std::string out;
    for (const std::string& token : tokens) {
        out += out.empty() ? "" : " ";
        out += token;
    }
    return out.empty() ? "(none)" : out;
}

std::optional<std::string> encode(unsigned codePage, std::string_view utf8) {
    const std::u16string wide = platform::utf8ToUtf16(utf8);
    if (wide.find(u'\0') != std::u16string::npos || wide.find(u'\uFFFD') != std::u16string::npos) {
        return std::nullopt;
    }
    return platform::utf16ToCodePage(codePage, wide);
}

}  // namespace

std::vector<std::string> formatTokens(std::string_view text) {
    std::vector<std::string> tokens;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            tokens.emplace_back("\"");
            continue;
        }
        if (text[i] != '%') {
            continue;
        }
        // %[flags][width][.precision][length]conversion, or %%.
        std::size_t end = i + 1;
        if (end < text.size() && text[end] == '%') {
            tokens.emplace_back("%%");
            i = end;
            continue;
        }
        while (end < text.size() && std::string_view("-+ #0123456789.hlLqjzt").find(text[end]) !=
                                        std::string_view::npos) {
            ++end;
        }
        if (end < text.size() && isConversionLetter(text[end])) {
            ++end;
        }
        tokens.emplace_back(text.substr(i, end - i));
        i = end - 1;
    }
    return tokens;
}

std::vector<std::string> checkTranslation(std::string_view key, std::string_view translation,
                                          const framework::CLanguage& language) {
    std::vector<std::string> problems;
    const std::string code(language.GetAsciiCode());
    if (key.empty() != translation.empty()) {
        problems.push_back(
            code + ": " +
            (key.empty() ? "the empty text must stay empty" : "the translation is missing"));
    }
    const auto keyTokens = formatTokens(key);
    const auto translationTokens = formatTokens(translation);
    if (keyTokens != translationTokens) {
        problems.push_back(code + ": placeholders and quotes " + joined(translationTokens) +
                           " differ from the key's " + joined(keyTokens));
    }
    if (!encode(language.GetAnsiCodePage(), translation)) {
        problems.push_back(code + ": the translation has characters outside code page " +
                           std::to_string(language.GetAnsiCodePage()));
    }
    return problems;
}

CompileResult compileDictionary(const DictionarySource& source,
                                const std::vector<std::string>& requiredKeys) {
    CompileResult result;
    std::set<std::string> keys;
    for (const SourceRow& row : source.rows) {
        const std::optional<std::string> key = encode(kKeyCodePage, row.key);
        if (!key) {
            result.errors.push_back(at(row.line, "the key has characters outside code page 1252"));
            continue;
        }
        if (!keys.insert(row.key).second) {
            result.errors.push_back(at(row.line, "the key appears twice"));
            continue;
        }
        framework::TranslationMap translations;
        for (std::size_t i = 0; i < source.languages.size(); ++i) {
            const framework::CLanguage& language = source.languages[i];
            for (const std::string& problem :
                 checkTranslation(row.key, row.translations[i], language)) {
                result.errors.push_back(at(row.line, problem));
            }
            if (auto bytes = encode(language.GetAnsiCodePage(), row.translations[i])) {
                translations.emplace(language, std::move(*bytes));
            }
        }
        result.dictionary.Entries().emplace(*key, std::move(translations));
    }
    for (const std::string& required : requiredKeys) {
        // The program finds "&Yes" under "Yes", as the runtime dictionary's lookup does.
        std::string plain = required;
        std::erase(plain, '&');
        if (!keys.contains(required) && !keys.contains(plain)) {
            result.errors.push_back("the text \"" + required + "\" has no entry");
        }
    }
    return result;
}

std::vector<std::uint8_t> serializeDictionary(
    framework::CMergedLocalizationDictionary& dictionary) {
    framework::CStoringArchive archive;
    dictionary.Serialize(archive);
    return archive.Bytes();
}

}  // namespace dict
