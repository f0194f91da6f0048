#include "framework/localization_dictionary.h"

#include <algorithm>
#include <utility>

namespace framework {

bool CLocalizationDictionary::Translate(std::u16string_view text, std::u16string& out) const {
    if (auto it = m_entries.find(text); it != m_entries.end()) {
        out = it->second;
        return true;
    }
    // A text with mnemonics ("&Assign") finds the plain key; every "&" goes, doubled ones too.
    std::u16string plain(text);
    std::erase(plain, u'&');
    if (plain.size() != text.size()) {
        if (auto it = m_entries.find(plain); it != m_entries.end()) {
            out = it->second;
            return true;
        }
    }
    return false;
}

bool CLocalizationDictionary::Insert(std::u16string key, std::u16string translation) {
    return m_entries.emplace(std::move(key), std::move(translation)).second;
}

}  // namespace framework
