#pragma once

// CLocalizationDictionary: the runtime dictionary, English text to the translation into one
// language, both UTF-16. Keys compare by code unit, so case matters. The process-wide instance
// (GetRuntimeDictionary, dictionary_language.h) belongs to the user-interface thread.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace framework {

class CLocalizationDictionary {
  public:
    virtual ~CLocalizationDictionary() = default;

    // The exact text first, then the text with every "&" removed (when that differs). Found:
    // `out` receives the translation as stored and the result is true. Otherwise false and
    // `out` keeps its content.
    bool Translate(std::u16string_view text, std::u16string& out) const;

    // The first of equal keys stays; returns whether the pair was inserted.
    bool Insert(std::u16string key, std::u16string translation);
    void Clear() { m_entries.clear(); }
    std::size_t Size() const { return m_entries.size(); }
    const std::map<std::u16string, std::u16string, std::less<>>& Entries() const {
        return m_entries;
    }

  private:
    std::map<std::u16string, std::u16string, std::less<>> m_entries;
};

}  // namespace framework
