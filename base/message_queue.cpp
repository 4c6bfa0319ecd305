#include "base/message_queue.h"

#include <vector>

#include "base/os.h"

namespace base {

namespace {

// A queue that held more than this is rebuilt once it drains, so its block map goes too.
constexpr std::size_t kShrinkAbove = 1024;

}  // namespace

bool MessageQueue::postFromOutside(const Message& m) {
    {
        std::lock_guard lock(m_);
        if (items_.size() >= kHighWater) return false;
    }
    post(m);
    return true;
}

void MessageQueue::post(const Message& m) {
    std::function<void(const Message&)> observer;
    {
        std::lock_guard lock(m_);
        observer = observer_;
    }
    if (observer) observer(m);
    {
        std::lock_guard lock(m_);
        items_.push_back(Item{m, {}});
        grown_ = grown_ || items_.size() > kShrinkAbove;
    }
    wake();
}

void MessageQueue::postTask(std::function<void()> task) {
    {
        std::lock_guard lock(m_);
        items_.push_back(Item{{}, std::move(task)});
        grown_ = grown_ || items_.size() > kShrinkAbove;
    }
    wake();
}

bool MessageQueue::get(Item& item) {
    std::unique_lock lock(m_);
    while (items_.empty() && !quit_) waitForWork(lock);
    if (items_.empty()) return false;
    item = std::move(items_.front());
    items_.pop_front();
    if (items_.empty() && grown_) {
        grown_ = false;
        std::deque<Item>().swap(items_);
        lock.unlock();
        // The posters' allocator arenas keep freed blocks; a burst of posts gives them back here.
        os::giveBackFreedMemory();
    }
    return true;
}

void MessageQueue::quit() {
    {
        std::lock_guard lock(m_);
        quit_ = true;
    }
    wake();
}

std::size_t MessageQueue::pending() const {
    std::lock_guard lock(m_);
    return items_.size();
}

MessageQueue& MessageQueue::current() {
    // Outlives its thread: other threads may still post to a window of it at exit. Every
    // queue stays listed, so none is ever lost.
    thread_local MessageQueue* queue = [] {
        static auto* all = new std::vector<MessageQueue*>;
        static auto* allMutex = new std::mutex;
        auto* q = new MessageQueue;
        std::lock_guard lock(*allMutex);
        all->push_back(q);
        return q;
    }();
    return *queue;
}

}  // namespace base

namespace base {

void MessageQueue::setPostObserver(std::function<void(const Message&)> observer) {
    std::lock_guard lock(m_);
    observer_ = std::move(observer);
}

}  // namespace base
