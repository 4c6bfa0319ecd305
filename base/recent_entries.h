// The last entries of a record that would otherwise grow for as long as the process runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace base {

// Keeps the newest `capacity` entries and counts the older ones it let go. Not locked.
template <typename T>
class RecentEntries {
public:
    static constexpr std::size_t kDefaultCapacity = 256;

    explicit RecentEntries(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    void push(T entry) {
        entries_.push_back(std::move(entry));
        while (entries_.size() > capacity_) {
            entries_.pop_front();
            ++dropped_;
        }
    }
    const std::deque<T>& entries() const { return entries_; }
    uint64_t dropped() const { return dropped_; }
    void clear() {
        entries_.clear();
        dropped_ = 0;
    }

private:
    std::size_t capacity_;
    std::deque<T> entries_;
    uint64_t dropped_ = 0;
};

}  // namespace base
