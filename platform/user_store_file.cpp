#include "platform/user_store_file.h"

#include <charconv>

#include "platform/network_names.h"
#include "platform/utf.h"

namespace platform {
namespace {

constexpr std::string_view kHeader = "drivescout-user-store 1";

bool needsEscape(unsigned char c) {
    return c == '%' || c == ' ' || c < 0x20 || c == 0x7F;
}

std::string escape(std::u16string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string result;
    for (unsigned char c : utf16ToUtf8(text)) {
        if (needsEscape(c)) {
            result += '%';
            result += kHex[c >> 4];
            result += kHex[c & 0xF];
        } else {
            result += static_cast<char>(c);
        }
    }
    return result;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::u16string> unescape(std::string_view field) {
    std::string bytes;
    for (size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '%') {
            if (needsEscape(static_cast<unsigned char>(c)))
                return std::nullopt;
            bytes += c;
            continue;
        }
        if (field.size() - i < 3)
            return std::nullopt;
        const int high = hexDigit(field[i + 1]);
        const int low = hexDigit(field[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return utf8ToUtf16(bytes);
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t space = line.find(' ', start);
        fields.push_back(line.substr(start, space - start));
        if (space == std::string_view::npos)
            break;
        start = space + 1;
    }
    return fields;
}

void putValue(StoredKey& key, StoredValue value) {
    if (StoredValue* existing = findValue(key, value.name))
        *existing = std::move(value);
    else
        key.values.push_back(std::move(value));
}

}  // namespace

std::optional<std::u16string> normalizeKeyPath(std::u16string_view path) {
    while (!path.empty() && path.front() == u'\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == u'\\')
        path.remove_suffix(1);
    if (path.find(u"\\\\") != std::u16string_view::npos)
        return std::nullopt;
    return toUpper(path);
}

StoredValue* findValue(StoredKey& key, std::u16string_view name) {
    for (StoredValue& value : key.values) {
        if (equalsIgnoringCase(value.name, name))
            return &value;
    }
    return nullptr;
}

const StoredValue* findValue(const StoredKey& key, std::u16string_view name) {
    return findValue(const_cast<StoredKey&>(key), name);
}

ParsedStore parseStoreFile(std::string_view text) {
    ParsedStore parsed;
    auto fail = [&parsed](size_t line) {
        parsed.contents.clear();
        parsed.damaged = true;
        parsed.damagedLine = line;
        return parsed;
    };
    if (text.empty())
        return parsed;
    StoredKey* current = nullptr;
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            return fail(lineNumber + 1);  // every line, the last one too, ends in LF
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (lineNumber == 1) {
            if (line != kHeader)
                return fail(lineNumber);
            continue;
        }
        const std::vector<std::string_view> fields = splitFields(line);
        if (fields[0] == "key" && fields.size() == 2) {
            // key <path>
            const std::optional<std::u16string> path = unescape(fields[1]);
            if (!path)
                return fail(lineNumber);
            const std::optional<std::u16string> normal = normalizeKeyPath(*path);
            if (!normal)
                return fail(lineNumber);
            current = &parsed.contents[*normal];
            if (current->path.empty())
                current->path = *path;
        } else if (fields[0] == "number" && fields.size() == 3 && current) {
            // number <name> <decimal>
            const std::optional<std::u16string> name = unescape(fields[1]);
            uint32_t number = 0;
            const std::string_view digits = fields[2];
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), number);
            if (!name || digits.empty() || error != std::errc() ||
                end != digits.data() + digits.size() || digits.front() == '+' ||
                digits.front() == '-')
                return fail(lineNumber);
            putValue(*current, StoredValue{*name, true, number, {}});
        } else if (fields[0] == "text" && fields.size() == 3 && current) {
            // text <name> <text>
            const std::optional<std::u16string> name = unescape(fields[1]);
            const std::optional<std::u16string> value = unescape(fields[2]);
            if (!name || !value)
                return fail(lineNumber);
            putValue(*current, StoredValue{*name, false, 0, *value});
        } else {
            return fail(lineNumber);
        }
    }
    return parsed;
}

std::string formatStoreFile(const StoreContents& contents) {
    std::string text(kHeader);
    text += '\n';
    for (const auto& [normal, key] : contents) {
        text += "key ";
        text += escape(key.path.empty() ? normal : key.path);
        text += '\n';
        for (const StoredValue& value : key.values) {
            if (value.isNumber) {
                text += "number " + escape(value.name) + ' ' + std::to_string(value.number);
            } else {
                text += "text " + escape(value.name) + ' ' + escape(value.text);
            }
            text += '\n';
        }
    }
    return text;
}

}  // namespace platform
