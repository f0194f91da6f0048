#pragma once

// A push-down stack (last in, first out), used by the XML reader for open elements. Not locked:
// one thread uses a stack at a time.

#include <optional>
#include <vector>

namespace upnp {

template <class T>
class PointerStack {
  public:
    void push(T value) { items_.push_back(std::move(value)); }
    std::optional<T> pop() {
        if (items_.empty())
            return std::nullopt;
        std::optional<T> top(std::move(items_.back()));
        items_.pop_back();
        return top;
    }
    // Null when empty.
    T* peek() { return items_.empty() ? nullptr : &items_.back(); }
    void clear() { items_.clear(); }
    bool empty() const { return items_.empty(); }
    size_t size() const { return items_.size(); }

  private:
    std::vector<T> items_;
};

}  // namespace upnp
