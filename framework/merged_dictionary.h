#pragma once

// CMergedLocalizationDictionary: every English text with its translations into each language
// the dictionary carries, as raw bytes (keys in Windows-1252, each translation in its
// language's ANSI code page), and the reader and writer of its binary form:
//
//   u32 N, N bytes "Glossmill merged dictionary file", u32 version (written 00 00 00 01, read
//   and ignored), u32 E, then E entries: key string, u32 T, T times (3-byte language code,
//   translation string). Strings are a u32 byte count and the bytes. Keys are written in
//   ascending byte order, translations in ascending code order.
//
// The process-wide instance (GetMergedDictionary, dictionary_language.h) belongs to the
// user-interface thread.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "framework/archive.h"
#include "framework/language.h"
#include "framework/serializable_map.h"

namespace platform {
class ResourceModule;
}

namespace framework {

class CLocalizationDictionary;

inline constexpr std::string_view kMergedDictionaryMagic = "Glossmill merged dictionary file";
inline constexpr std::uint32_t kMergedDictionaryVersion = 0x01000000;
// The resource type under which the dictionary is carried.
inline constexpr std::string_view kDictionaryResourceType = "Dictionary";

using TranslationMap = serializable_map<CLanguage, std::string>;
// std::string orders by unsigned bytes (char_traits<char> compares like memcmp).
using MergedEntryMap = serializable_map<std::string, TranslationMap>;

class CMergedLocalizationDictionary {
  public:
    // Reading: throws IArchive::EXCEPTION on a foreign or malformed stream; what was inserted
    // before the fault stays (ReadMergedDictionary reads aside to avoid that). Writing: the whole
    // binary form.
    virtual void Serialize(IArchive& ar);
    virtual ~CMergedLocalizationDictionary() = default;

    // Neutral: true. Not a row: false. Otherwise whether any entry has a translation into it.
    bool HasLanguage(const CLanguage& language) const;

    // Empties `target`, then fills it with every entry translated into `language`, both sides
    // converted to UTF-16 (key from 1252, translation from the language's ANSI code page).
    // True when at least one translation was found.
    bool ExtractLanguage(const CLanguage& language, CLocalizationDictionary& target) const;

    MergedEntryMap& Entries() { return m_entries; }
    const MergedEntryMap& Entries() const { return m_entries; }

  private:
    MergedEntryMap m_entries;
};

// Reads a whole binary dictionary and merges it into `target` (which is not emptied first; of
// equal keys the entry already there stays). False when the bytes are not a complete
// dictionary; `target` is then unchanged.
bool ReadMergedDictionary(CMergedLocalizationDictionary& target,
                          std::span<const std::uint8_t> bytes);

// Finds resource `id` (low 16 bits) of type "Dictionary" in `module` and reads it into
// `target`. False when the module is null, lacks the resource, or the resource is malformed.
bool LoadMergedDictionary(CMergedLocalizationDictionary& target,
                          const platform::ResourceModule* module, unsigned id);
// The same into the process-wide merged dictionary.
bool LoadMergedDictionary(const platform::ResourceModule* module, unsigned id);

}  // namespace framework
