// Critical sections with try-enter, recursive for the owning thread. On Windows they are the
// system's own (base/win32/critical_section.cpp).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace base {

class CriticalSection {
public:
#ifdef _WIN32
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
#endif
    // The spin count is kept as given; the portable section never spins, it is only reported.
    void initialize(uint32_t spinCount);
    bool initialized() const;
    uint32_t spinCount() const;

    // Deterministic: fails only when another thread owns the section.
    bool tryEnter();
    void enter();
    void leave();
    bool heldByOtherThread() const;

private:
#ifdef _WIN32
    // A CRITICAL_SECTION, whose header the core does not see.
    alignas(8) unsigned char section_[40];
    uint32_t spinCount_ = 0;
    bool initialized_ = false;
#else
    mutable std::mutex m_;
    std::condition_variable released_;
    std::thread::id owner_;
    uint32_t depth_ = 0;
    uint32_t spinCount_ = 0;
    bool initialized_ = false;
#endif
};

}  // namespace base
