#include "platform/string_table_file.h"

#include <charconv>

#include "platform/utf.h"

namespace platform {
namespace {

std::string lineError(std::size_t lineNumber, std::string_view what) {
    return "line " + std::to_string(lineNumber) + ": " + std::string(what);
}

}  // namespace

std::optional<std::string> unescapeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out.push_back(field[i]);
            continue;
        }
        if (++i == field.size()) {
            return std::nullopt;
        }
        switch (field[i]) {
            case '\\':
                out.push_back('\\');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case '"':
                out.push_back('"');
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

std::string escapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

StringTableParse parseStringTableFile(std::string_view utf8) {
    StringTableFile table;
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
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            return {std::nullopt, lineError(lineNumber, "expected <id><TAB><text>")};
        }
        const std::string_view idText = line.substr(0, tab);
        const std::optional<std::string> text = unescapeField(line.substr(tab + 1));
        if (!text) {
            return {std::nullopt, lineError(lineNumber, "bad escape")};
        }
        if (idText == "version") {
            table.version = *text;
            continue;
        }
        std::uint32_t id = 0;
        const auto [end, ec] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
        if (idText.empty() || ec != std::errc() || end != idText.data() + idText.size()) {
            return {std::nullopt, lineError(lineNumber, "the id is not a decimal number")};
        }
        if (!table.strings.emplace(id, utf8ToUtf16(*text)).second) {
            return {std::nullopt, lineError(lineNumber, "duplicate id " + std::string(idText))};
        }
    }
    return {std::move(table), {}};
}

}  // namespace platform
