#include "base/message_queue.h"

namespace base {

MessageQueue::MessageQueue() = default;
MessageQueue::~MessageQueue() = default;

void MessageQueue::wake() {
    cv_.notify_all();
}

void MessageQueue::waitForWork(std::unique_lock<std::mutex>& lock) {
    cv_.wait(lock);
}

}  // namespace base
