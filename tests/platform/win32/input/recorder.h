// What a callback on another thread hands over, waited for with a deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace testsupport {

template <typename T>
class Recorder {
public:
    void add(T value) {
        {
            std::lock_guard l(m_);
            items_.push_back(std::move(value));
        }
        cv_.notify_all();
    }
    // Everything recorded once there are at least `count` items, or when 5 s have passed.
    std::vector<T> waitFor(std::size_t count) {
        std::unique_lock l(m_);
        cv_.wait_for(l, std::chrono::seconds(5), [&] { return items_.size() >= count; });
        return items_;
    }
    std::vector<T> now() {
        std::lock_guard l(m_);
        return items_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<T> items_;
};

}  // namespace testsupport
