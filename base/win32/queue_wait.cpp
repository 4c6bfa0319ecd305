// The owner waits in its thread's own message loop: a message-only window takes the wake-ups,
// and every other message of the thread (for the real windows it made) is dispatched meanwhile,
// as in any Windows program's loop.
#include "base/message_queue.h"
#include "base/win32/message_window.h"

namespace base {

// Without a window the queue still works, on the condition variable: only the real windows of
// the thread go unserved while it waits. So does a thread other than the owner.
MessageQueue::MessageQueue() : window_(win32::createMessageWindow()) {}

MessageQueue::~MessageQueue() {
    win32::destroyMessageWindow(window_);
}

void MessageQueue::wake() {
    // Another thread may be taking items too (the queue allows it, as on other platforms): it
    // waits on the condition variable.
    cv_.notify_all();
    void* window = nullptr;
    {
        std::lock_guard lock(m_);
        window = window_;
        if (!window || wakePending_) return;
        wakePending_ = true;
    }
    if (win32::postWake(window)) return;
    // The thread's queue is full of other messages, or its thread has ended: the next post
    // tries again, and the owner finds this item at its next wake-up.
    std::lock_guard lock(m_);
    wakePending_ = false;
}

void MessageQueue::waitForWork(std::unique_lock<std::mutex>& lock) {
    void* window = window_;
    if (!win32::ownsMessageWindow(window)) {
        cv_.wait(lock);
        return;
    }
    lock.unlock();
    const auto result = win32::takeNextMessage(window);
    lock.lock();
    if (result == win32::LoopResult::Woken) {
        wakePending_ = false;
    } else if (result == win32::LoopResult::Failed) {
        // From now on the condition variable; posters read window_ under the lock.
        window_ = nullptr;
        wakePending_ = false;
    }
}

}  // namespace base
