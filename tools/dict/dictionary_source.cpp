#include "tools/dict/dictionary_source.h"

#include <algorithm>

#include "platform/string_table_file.h"

namespace dict {
namespace {

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    while (true) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(tab + 1);
    }
}

std::string at(std::size_t line, std::string_view what) {
    return "line " + std::to_string(line) + ": " + std::string(what);
}

}  // namespace

SourceParse parseDictionarySource(std::string_view utf8) {
    SourceParse result;
    bool haveHeader = false;
    std::size_t lineNumber = 0;
    while (!utf8.empty()) {
        ++lineNumber;
        const std::size_t newline = utf8.find('\n');
        std::string_view line = utf8.substr(0, newline);
        utf8 = newline == std::string_view::npos ? std::string_view() : utf8.substr(newline + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::vector<std::string_view> fields = splitTabs(line);
        if (!haveHeader) {
            haveHeader = true;
            if (fields.front() != "KEY" || fields.size() < 2) {
                result.errors.push_back(
                    at(lineNumber, "the header must be KEY and language codes"));
                return result;
            }
            for (std::size_t i = 1; i < fields.size(); ++i) {
                const auto language = framework::CLanguage::FromAsciiCode(fields[i]);
                if (!language.IsValid() || fields[i] != language.GetAsciiCode()) {
                    result.errors.push_back(
                        at(lineNumber, "unknown language code \"" + std::string(fields[i]) + "\""));
                } else if (std::ranges::find(result.source.languages, language) !=
                           result.source.languages.end()) {
                    result.errors.push_back(
                        at(lineNumber, "language " + std::string(fields[i]) + " appears twice"));
                } else {
                    result.source.languages.push_back(language);
                }
            }
            if (!result.errors.empty()) {
                return result;
            }
            continue;
        }
        if (fields.size() != result.source.languages.size() + 1) {
            result.errors.push_back(
                at(lineNumber, "expected " + std::to_string(result.source.languages.size() + 1) +
                                   " fields, found " + std::to_string(fields.size())));
            continue;
        }
        SourceRow row;
        row.line = lineNumber;
        bool escapesOk = true;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            std::optional<std::string> text = platform::unescapeField(fields[i]);
            if (!text) {
                escapesOk = false;
                break;
            }
            if (i == 0) {
                row.key = std::move(*text);
            } else {
                row.translations.push_back(std::move(*text));
            }
        }
        if (!escapesOk) {
            result.errors.push_back(at(lineNumber, "bad escape"));
            continue;
        }
        result.source.rows.push_back(std::move(row));
    }
    if (!haveHeader) {
        result.errors.push_back("the source has no header row");
    }
    return result;
}

}  // namespace dict
