#pragma once

// A locked list in insertion order: the stack's queues (requests per server, connections
// waiting for a socket). The list does not lock itself: callers take `lock()` / `unlock()` (or a
// `std::lock_guard` on the list) around every use that other threads may race with. The lock is
// not re-entrant. Elements are values; a list of pointers does not own what they point to.

#include <cstddef>
#include <list>
#include <mutex>
#include <optional>

namespace upnp {

template <class T>
class LinkedList {
  public:
    using Node = typename std::list<T>::iterator;

    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

    Node first() { return items_.begin(); }
    Node end() { return items_.end(); }
    Node next(Node node) { return std::next(node); }
    static T& data(Node node) { return *node; }

    Node insertBefore(Node node, T value) { return items_.insert(node, std::move(value)); }
    Node addTail(T value) { return items_.insert(items_.end(), std::move(value)); }
    // Returns the node after the removed one.
    Node remove(Node node) { return items_.erase(node); }
    // Removes every element equal to `value`; returns how many went.
    size_t removeAll(const T& value) { return items_.remove(value); }

    std::optional<T> popFront() {
        if (items_.empty())
            return std::nullopt;
        std::optional<T> front(std::move(items_.front()));
        items_.pop_front();
        return front;
    }
    // Null when empty.
    T* peekFront() { return items_.empty() ? nullptr : &items_.front(); }

    bool isEmpty() const { return items_.empty(); }
    size_t size() const { return items_.size(); }
    void clear() { items_.clear(); }

  private:
    std::mutex mutex_;
    std::list<T> items_;
};

}  // namespace upnp
