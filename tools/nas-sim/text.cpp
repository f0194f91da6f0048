#include "tools/nas-sim/text.h"

namespace nassim {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::optional<std::string_view> LineReader::next() {
    if (done_)
        return std::nullopt;
    const size_t newline = rest_.find('\n');
    if (newline == std::string_view::npos) {
        done_ = true;
        if (rest_.empty())
            return std::nullopt;
        return rest_;
    }
    std::string_view line = rest_.substr(0, newline);
    rest_.remove_prefix(newline + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        const size_t start = line.find_first_not_of(' ');
        if (start == std::string_view::npos)
            break;
        line.remove_prefix(start);
        const size_t end = line.find(' ');
        words.push_back(line.substr(0, end));
        if (end == std::string_view::npos)
            break;
        line.remove_prefix(end);
    }
    return words;
}

std::optional<std::pair<std::string_view, std::string_view>> splitHeader(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    const std::string_view name = line.substr(0, colon);
    if (name.find_first_of(" \t") != std::string_view::npos)
        return std::nullopt;
    return std::make_pair(name, trim(line.substr(colon + 1)));
}

}  // namespace nassim
