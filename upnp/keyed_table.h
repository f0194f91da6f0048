#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace upnp {

// Whether keys that differ only in the case of the ASCII letters A-Z are the same key.
enum class KeyCase { Sensitive, Insensitive };

// The form under which a key is indexed: the key itself, or with A-Z mapped to a-z.
std::string normalizeKey(std::string_view key, KeyCase keyCase);

// Byte-wise equality ignoring the case of the ASCII letters A-Z only.
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);

// An insertion-ordered table from byte-string keys (any bytes, NUL included) to values.
//
// - `add` on an existing key replaces the value in place: the entry keeps its position and the
//   spelling of the key it was first stored with (in a case-insensitive table "Content-Length"
//   stays "Content-Length" after an add of "content-length").
// - A zero-length key is never stored and never found.
// - Iteration (`begin`/`end`) runs in insertion order.
//
// Lookups go through a hash index, so a table filled from the network (HTTP headers, for
// example) cannot be made quadratic by many entries.
//
// Threads: the table has its own lock, which the operations do NOT take. Callers that share a
// table between threads hold it (`lock`/`unlock`, or `std::lock_guard` over the table) around
// every operation and every iteration. The lock is not re-entrant.
//
// Ownership: the table owns its copies of the keys and the values it stores. A table of raw
// pointers does not own what they point to.
template <typename Value>
class KeyedTable {
  public:
    struct Entry {
        std::string key;  // spelling of the first insertion
        Value value;
    };
    using const_iterator = typename std::list<Entry>::const_iterator;
    using iterator = typename std::list<Entry>::iterator;

    explicit KeyedTable(KeyCase keyCase = KeyCase::Sensitive) : keyCase_(keyCase) {}

    KeyedTable(const KeyedTable&) = delete;
    KeyedTable& operator=(const KeyedTable&) = delete;

    // Moving transfers the entries, not the lock; neither table may be locked while it moves.
    KeyedTable(KeyedTable&& other) noexcept
        : keyCase_(other.keyCase_),
          entries_(std::move(other.entries_)),
          index_(std::move(other.index_)) {}
    KeyedTable& operator=(KeyedTable&& other) noexcept {
        keyCase_ = other.keyCase_;
        entries_ = std::move(other.entries_);
        index_ = std::move(other.index_);
        return *this;
    }

    KeyCase keyCase() const { return keyCase_; }

    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

    bool has(std::string_view key) const { return find(key) != entries_.end(); }

    // Replaces the value of an existing key in place, or appends a new entry at the end.
    // Returns false (and stores nothing) for a zero-length key.
    bool add(std::string_view key, Value value) {
        if (key.empty())
            return false;
        std::string normal = normalize(key);
        if (auto found = index_.find(normal); found != index_.end()) {
            found->second->value = std::move(value);
            return true;
        }
        entries_.push_back(Entry{std::string(key), std::move(value)});
        index_.emplace(std::move(normal), std::prev(entries_.end()));
        return true;
    }

    // The stored value, or null when the key is absent. The pointer stays valid until the entry
    // is removed or the table is destroyed.
    Value* get(std::string_view key) {
        auto it = find(key);
        return it == entries_.end() ? nullptr : &it->value;
    }
    const Value* get(std::string_view key) const {
        auto it = find(key);
        return it == entries_.end() ? nullptr : &it->value;
    }

    // The stored spelling of a key, or an empty view when absent.
    std::string_view storedKey(std::string_view key) const {
        auto it = find(key);
        return it == entries_.end() ? std::string_view() : std::string_view(it->key);
    }

    // Removes the entry; returns whether there was one.
    bool remove(std::string_view key) {
        if (key.empty())
            return false;
        auto found = index_.find(normalize(key));
        if (found == index_.end())
            return false;
        entries_.erase(found->second);
        index_.erase(found);
        return true;
    }

    void clear() {
        index_.clear();
        entries_.clear();
    }

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }

  private:
    std::string normalize(std::string_view key) const { return normalizeKey(key, keyCase_); }

    const_iterator find(std::string_view key) const {
        if (key.empty())
            return entries_.end();
        auto found = index_.find(normalize(key));
        return found == index_.end() ? entries_.end() : const_iterator(found->second);
    }
    iterator find(std::string_view key) {
        if (key.empty())
            return entries_.end();
        auto found = index_.find(normalize(key));
        return found == index_.end() ? entries_.end() : found->second;
    }

    KeyCase keyCase_;
    std::list<Entry> entries_;
    std::unordered_map<std::string, iterator> index_;
    std::mutex mutex_;
};

}  // namespace upnp
