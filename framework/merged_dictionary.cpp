#include "framework/merged_dictionary.h"

#include <utility>

#include "framework/localization_dictionary.h"
#include "platform/code_page.h"
#include "platform/resources.h"

namespace framework {
namespace {

constexpr unsigned kKeyCodePage = 1252;

// The magic is compared as its full byte count: the right text under another length (even one
// padded with zero bytes) is a foreign stream.
void LoadMagic(IArchive& ar) {
    const std::uint32_t count = LoadU32(ar);
    if (count != kMergedDictionaryMagic.size()) {
        throw IArchive::EXCEPTION_BAD_MAGIC;
    }
    std::string magic(count, '\0');
    ar.Read(magic.data(), count);
    if (magic != kMergedDictionaryMagic) {
        throw IArchive::EXCEPTION_BAD_MAGIC;
    }
}

}  // namespace

void CMergedLocalizationDictionary::Serialize(IArchive& ar) {
    if (ar.IsStoring()) {
        StoreString(ar, std::string(kMergedDictionaryMagic));
        StoreU32(ar, kMergedDictionaryVersion);
        m_entries.Serialize(ar);
        return;
    }
    LoadMagic(ar);
    (void)LoadU32(ar);  // the version: every value is accepted
    m_entries.Serialize(ar);
}

bool CMergedLocalizationDictionary::HasLanguage(const CLanguage& language) const {
    if (language.IsNeutral()) {
        return true;
    }
    if (!language.IsValid()) {
        return false;
    }
    for (const auto& [key, translations] : m_entries) {
        if (translations.contains(language)) {
            return true;
        }
    }
    return false;
}

bool CMergedLocalizationDictionary::ExtractLanguage(const CLanguage& language,
                                                    CLocalizationDictionary& target) const {
    target.Clear();
    // Translations read under a code outside the table all compare equal to any value that is
    // not a row; they must never be served as the translations of an unknown language.
    if (!language.IsValid()) {
        return false;
    }
    const unsigned codePage = language.GetAnsiCodePage();  // 0: the active ANSI code page
    bool found = false;
    for (const auto& [key, translations] : m_entries) {
        auto it = translations.find(language);
        if (it == translations.end()) {
            continue;
        }
        found = true;
        target.Insert(platform::codePageToUtf16(kKeyCodePage, key),
                      platform::codePageToUtf16(codePage, it->second));
    }
    return found;
}

bool ReadMergedDictionary(CMergedLocalizationDictionary& target,
                          std::span<const std::uint8_t> bytes) {
    // Read aside and merge only a complete dictionary, so a damaged resource leaves nothing
    // behind. Merging keeps the first of equal keys, as reading into the target would.
    CMergedLocalizationDictionary read;
    CArchive archive(bytes);
    try {
        read.Serialize(archive);
    } catch (IArchive::EXCEPTION) {
        return false;
    }
    for (auto& [key, translations] : read.Entries()) {
        target.Entries().emplace(key, std::move(translations));
    }
    return true;
}

bool LoadMergedDictionary(CMergedLocalizationDictionary& target,
                          const platform::ResourceModule* module, unsigned id) {
    if (module == nullptr) {
        return false;
    }
    const auto bytes =
        module->findResource(kDictionaryResourceType, static_cast<std::uint16_t>(id & 0xFFFF));
    if (!bytes) {
        return false;
    }
    return ReadMergedDictionary(target, *bytes);
}

}  // namespace framework
