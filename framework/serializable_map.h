#pragma once

// serializable_map: an ordered map with unique keys that serialises itself through an IArchive:
// a u32 count, then each key followed by its value, in key order. Reading inserts what it reads
// into the map; of equal keys the first one read stays. Keys and values are archived through the
// StoreItem/LoadItem overloads (archive_primitives.h) or, for nested maps, their own Serialize.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <utility>

#include "framework/archive.h"
#include "framework/archive_primitives.h"

namespace framework {

template <class K, class V, class Compare = std::less<K>>
class serializable_map : public std::map<K, V, Compare> {
  public:
    virtual void Serialize(IArchive& ar) {
        if (ar.IsStoring()) {
            StoreU32(ar, static_cast<std::uint32_t>(this->size()));
            for (auto& [key, value] : *this) {
                StoreItem(ar, key);
                StoreNested(ar, value);
            }
            return;
        }
        const std::uint32_t count = LoadU32(ar);
        RequireRemaining(ar, count,
                         MinimumArchivedSize(static_cast<const K*>(nullptr)) +
                             MinimumArchivedSize(static_cast<const V*>(nullptr)));
        for (std::uint32_t i = 0; i < count; ++i) {
            K key{};
            LoadItem(ar, key);
            V value{};
            LoadNested(ar, value);
            this->emplace(std::move(key), std::move(value));
        }
    }

    virtual ~serializable_map() = default;

  private:
    template <class T>
    static void StoreNested(IArchive& ar, T& value) {
        if constexpr (requires { value.Serialize(ar); }) {
            value.Serialize(ar);
        } else {
            StoreItem(ar, value);
        }
    }
    template <class T>
    static void LoadNested(IArchive& ar, T& value) {
        if constexpr (requires { value.Serialize(ar); }) {
            value.Serialize(ar);
        } else {
            LoadItem(ar, value);
        }
    }
};

// A nested map takes at least its count.
template <class K, class V, class C>
constexpr std::size_t MinimumArchivedSize(const serializable_map<K, V, C>*) {
    return 4;
}

}  // namespace framework
