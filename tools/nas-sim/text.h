#pragma once

// Small text helpers over views of received bytes. None of them reads outside its view.

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace nassim {

bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string_view trim(std::string_view text);  // spaces and tabs at both ends

// Lines of a message head; each ends in CR LF or a bare LF (a last line without an ending is
// returned too).
class LineReader {
  public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    std::optional<std::string_view> next();

  private:
    std::string_view rest_;
    bool done_ = false;
};

// Words separated by single or repeated spaces.
std::vector<std::string_view> splitWords(std::string_view line);

// "Name: value" → (name, trimmed value); a line without ":" or with an empty or spaced name
// gives nothing.
std::optional<std::pair<std::string_view, std::string_view>> splitHeader(std::string_view line);

}  // namespace nassim
