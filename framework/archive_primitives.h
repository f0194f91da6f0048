#pragma once

// The primitive encodings of the merged dictionary: u32 little-endian; string = u32 byte count
// then the bytes (a reader keeps the bytes before the first zero byte); language code = exactly
// three ASCII bytes. Load* throw IArchive::EXCEPTION on malformed input.

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/archive.h"
#include "framework/language.h"

namespace framework {

void StoreU32(IArchive& ar, std::uint32_t value);
std::uint32_t LoadU32(IArchive& ar);

void StoreString(IArchive& ar, const std::string& text);
// A byte count larger than what remains is rejected before anything is allocated.
std::string LoadString(IArchive& ar);

// Three zero bytes for a language that is not a table row.
void StoreLanguage(IArchive& ar, const CLanguage& language);
// FromCode of the three bytes, cut at a zero byte: three zero bytes give neutral, a code the
// table lacks gives invalid.
CLanguage LoadLanguage(IArchive& ar);

// Throws EXCEPTION_TRUNCATED unless `count` items of at least `minimumSize` bytes each can still
// be read: a count from the data is never trusted.
void RequireRemaining(const IArchive& ar, std::uint32_t count, std::size_t minimumSize);

// Overloads through which serializable_map stores and loads its keys and values.
inline void StoreItem(IArchive& ar, const std::string& item) {
    StoreString(ar, item);
}
inline void LoadItem(IArchive& ar, std::string& item) {
    item = LoadString(ar);
}
inline void StoreItem(IArchive& ar, const CLanguage& item) {
    StoreLanguage(ar, item);
}
inline void LoadItem(IArchive& ar, CLanguage& item) {
    item = LoadLanguage(ar);
}

// The fewest bytes an item takes in the stream.
inline constexpr std::size_t MinimumArchivedSize(const std::string*) {
    return 4;
}
inline constexpr std::size_t MinimumArchivedSize(const CLanguage*) {
    return 3;
}

}  // namespace framework
