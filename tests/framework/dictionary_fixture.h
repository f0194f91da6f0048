#pragma once

// Builders of merged-dictionary bytes for the framework's tests: a well-formed dictionary from
// UTF-16 texts (written by the framework's own writer), and raw byte streams for malformed ones.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "framework/archive.h"
#include "framework/language.h"
#include "framework/merged_dictionary.h"
#include "platform/code_page.h"

namespace fixture {

struct Translation {
    const char16_t* code;
    std::u16string text;
};

struct Entry {
    std::u16string key;
    std::vector<Translation> translations;
};

inline std::string Encode(unsigned codePage, const std::u16string& text) {
    return platform::utf16ToCodePage(codePage, text).value();
}

inline framework::CMergedLocalizationDictionary Dictionary(const std::vector<Entry>& entries) {
    framework::CMergedLocalizationDictionary dictionary;
    for (const Entry& entry : entries) {
        framework::TranslationMap translations;
        for (const Translation& t : entry.translations) {
            const auto language = framework::CLanguage::FromCode(t.code);
            translations.emplace(language, Encode(language.GetAnsiCodePage(), t.text));
        }
        dictionary.Entries().emplace(Encode(1252, entry.key), std::move(translations));
    }
    return dictionary;
}

inline std::vector<std::uint8_t> Bytes(framework::CMergedLocalizationDictionary dictionary) {
    framework::CStoringArchive archive;
    dictionary.Serialize(archive);
    return archive.Bytes();
}

// A small dictionary in the shape of the shipped one: the empty entry, a key with a mnemonic
// form in the program, a revised ENU wording, a placeholder, four scripts.
inline std::vector<Entry> SampleEntries() {
    return {
        {u"", {{u"DEU", u""}, {u"ENU", u""}, {u"ESP", u""}, {u"CHS", u""}}},
        {u"Assign",
         {{u"DEU", u"Zuweisen"}, {u"ENU", u"Assign"}, {u"ESP", u"Asignar"}, {u"CHS", u"分配"}}},
        {u"Discover",
         {{u"DEU", u"Suchen"},
          {u"ENU", u"Find devices"},
          {u"ESP", u"Detectar"},
          {u"CHS", u"发现"}}},
        {u"OK", {{u"DEU", u"OK"}, {u"ENU", u"OK"}, {u"ESP", u"Aceptar"}, {u"CHS", u"确定"}}},
        {u"Scanning: %d seconds",
         {{u"DEU", u"Suche läuft: noch %d Sekunden"},
          {u"ENU", u"Scanning: %d seconds left"},
          {u"ESP", u"Buscando: %d segundos"},
          {u"CHS", u"正在扫描：剩余 %d 秒"}}},
    };
}

// Raw stream writer for malformed dictionaries.
class RawStream {
  public:
    RawStream& U32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
        }
        return *this;
    }
    RawStream& Raw(const std::string& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    RawStream& String(const std::string& bytes) {
        U32(static_cast<std::uint32_t>(bytes.size()));
        return Raw(bytes);
    }
    RawStream& Header() { return String("Glossmill merged dictionary file").U32(0x01000000); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace fixture
