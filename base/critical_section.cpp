#include "base/critical_section.h"

namespace base {

void CriticalSection::initialize(uint32_t spinCount) {
    std::lock_guard lock(m_);
    spinCount_ = spinCount;
    initialized_ = true;
}

bool CriticalSection::initialized() const {
    std::lock_guard lock(m_);
    return initialized_;
}

uint32_t CriticalSection::spinCount() const {
    std::lock_guard lock(m_);
    return spinCount_;
}

bool CriticalSection::tryEnter() {
    std::lock_guard lock(m_);
    const auto self = std::this_thread::get_id();
    if (depth_ != 0 && owner_ != self) return false;
    owner_ = self;
    ++depth_;
    return true;
}

void CriticalSection::enter() {
    std::unique_lock lock(m_);
    const auto self = std::this_thread::get_id();
    released_.wait(lock, [&] { return depth_ == 0 || owner_ == self; });
    owner_ = self;
    ++depth_;
}

void CriticalSection::leave() {
    std::lock_guard lock(m_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
    if (--depth_ == 0) {
        owner_ = {};
        released_.notify_one();
    }
}

bool CriticalSection::heldByOtherThread() const {
    std::lock_guard lock(m_);
    return depth_ != 0 && owner_ != std::this_thread::get_id();
}

}  // namespace base
