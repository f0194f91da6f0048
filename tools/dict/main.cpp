// drivescout-dict: compiles the translation dictionary's source into its binary form, shows a
// binary dictionary as text, and generates the program's resource module.
//
//   drivescout-dict compile SOURCE.tsv OUTPUT [--strings STRINGS.tsv]
//   drivescout-dict dump FILE [--language CODE]
//   drivescout-dict embed --dictionary FILE --id N --strings STRINGS.tsv --output FILE.cpp

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "framework/merged_dictionary.h"
#include "platform/string_table_file.h"
#include "platform/utf.h"
#include "tools/dict/dictionary_compiler.h"
#include "tools/dict/dictionary_dump.h"
#include "tools/dict/dictionary_source.h"
#include "tools/dict/resource_embedder.h"

namespace {

constexpr int kUsage = 2;

int usage() {
    std::cerr << "usage:\n"
                 "  drivescout-dict compile SOURCE.tsv OUTPUT [--strings STRINGS.tsv]\n"
                 "  drivescout-dict dump FILE [--language CODE]\n"
                 "  drivescout-dict embed --dictionary FILE --id N --strings STRINGS.tsv "
                 "--output FILE.cpp\n";
    return kUsage;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "drivescout-dict: cannot read " << path << "\n";
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool writeFile(const std::string& path, std::string_view content) {
    // Written aside and renamed, so a failed run never leaves a half file for the build to use.
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out) {
            std::cerr << "drivescout-dict: cannot write " << temporary << "\n";
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::cerr << "drivescout-dict: cannot write " << path << "\n";
        return false;
    }
    return true;
}

std::optional<platform::StringTableFile> readStrings(const std::string& path) {
    const auto content = readFile(path);
    if (!content) {
        return std::nullopt;
    }
    platform::StringTableParse parsed = platform::parseStringTableFile(*content);
    if (!parsed.table) {
        std::cerr << path << ": " << parsed.error << "\n";
        return std::nullopt;
    }
    return std::move(parsed.table);
}

// Options after the positional arguments: "--name value" pairs.
std::optional<std::string> option(const std::vector<std::string>& args, std::string_view name) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == name) {
            return args[i + 1];
        }
    }
    return std::nullopt;
}

int compile(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        return usage();
    }
    const auto content = readFile(args[0]);
    if (!content) {
        return 1;
    }
    dict::SourceParse parsed = dict::parseDictionarySource(*content);
    std::vector<std::string> errors = parsed.errors;
    std::vector<std::string> required;
    if (auto stringsPath = option(args, "--strings")) {
        const auto strings = readStrings(*stringsPath);
        if (!strings) {
            return 1;
        }
        for (const auto& [id, text] : strings->strings) {
            required.push_back(platform::utf16ToUtf8(text));
        }
    }
    dict::CompileResult compiled;
    if (errors.empty()) {
        compiled = dict::compileDictionary(parsed.source, required);
        errors = compiled.errors;
    }
    for (const std::string& error : errors) {
        std::cerr << args[0] << ": " << error << "\n";
    }
    if (!errors.empty()) {
        return 1;
    }
    const std::vector<std::uint8_t> bytes = dict::serializeDictionary(compiled.dictionary);
    return writeFile(args[1],
                     std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))
               ? 0
               : 1;
}

int dump(const std::vector<std::string>& args) {
    if (args.empty()) {
        return usage();
    }
    const auto content = readFile(args[0]);
    if (!content) {
        return 1;
    }
    framework::CMergedLocalizationDictionary dictionary;
    if (!framework::ReadMergedDictionary(
            dictionary,
            std::span(reinterpret_cast<const std::uint8_t*>(content->data()), content->size()))) {
        std::cerr << "drivescout-dict: " << args[0] << " is not a complete merged dictionary\n";
        return 1;
    }
    if (auto code = option(args, "--language")) {
        const auto language = framework::CLanguage::FromCode(platform::utf8ToUtf16(*code));
        if (!language.IsValid()) {
            std::cerr << "drivescout-dict: unknown language code " << *code << "\n";
            return kUsage;
        }
        std::cout << dict::dumpLanguage(dictionary, language);
    } else {
        std::cout << dict::dumpDictionary(dictionary);
    }
    return std::cout ? 0 : 1;
}

int embed(const std::vector<std::string>& args) {
    const auto dictionaryPath = option(args, "--dictionary");
    const auto idText = option(args, "--id");
    const auto stringsPath = option(args, "--strings");
    const auto outputPath = option(args, "--output");
    if (!dictionaryPath || !idText || !stringsPath || !outputPath) {
        return usage();
    }
    std::uint16_t id = 0;
    const auto [end, ec] = std::from_chars(idText->data(), idText->data() + idText->size(), id);
    if (ec != std::errc() || end != idText->data() + idText->size()) {
        return usage();
    }
    const auto dictionary = readFile(*dictionaryPath);
    const auto strings = readStrings(*stringsPath);
    if (!dictionary || !strings) {
        return 1;
    }
    const std::string source = dict::generateResourceSource(
        std::span(reinterpret_cast<const std::uint8_t*>(dictionary->data()), dictionary->size()),
        id, strings->strings);
    return writeFile(*outputPath, source) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return usage();
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "compile") {
        return compile(args);
    }
    if (command == "dump") {
        return dump(args);
    }
    if (command == "embed") {
        return embed(args);
    }
    return usage();
}
