// Critical sections with try-enter, recursive for the owning thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace base {

class CriticalSection {
public:
    // The spin count is kept as given; this implementation never spins, it is only reported.
    void initialize(uint32_t spinCount);
    bool initialized() const;
    uint32_t spinCount() const;

    // Deterministic: fails only when another thread owns the section.
    bool tryEnter();
    void enter();
    void leave();
    bool heldByOtherThread() const;

private:
    mutable std::mutex m_;
    std::condition_variable released_;
    std::thread::id owner_;
    uint32_t depth_ = 0;
    uint32_t spinCount_ = 0;
    bool initialized_ = false;
};

}  // namespace base
