// A per-thread message queue: any thread posts, the owning thread takes in posting order. On
// Windows the owner waits in its own thread's message loop, on a message-only window, so the
// real windows it made are served while it waits.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "base/messages.h"

namespace base {

class Window;

struct Message {
    Window* window = nullptr;
    uint32_t message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class MessageQueue {
public:
    // An item is either a message for a window or a task to run on the owning thread (used
    // for requests that must read GUI-thread state, such as a status report).
    struct Item {
        Message message;
        std::function<void()> task;
    };

    // Past this many waiting items, posts from outside the process are refused.
    static constexpr std::size_t kHighWater = 4096;

    // Belongs to the constructing thread, whose get() also serves that thread's windows on
    // Windows; another thread may take items too.
    MessageQueue();
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // Posts from inside the process (worker threads, timers) are never dropped.
    void post(const Message& m);
    void postTask(std::function<void()> task);
    // A post on behalf of another process: false, and nothing queued, past the high-water mark.
    bool postFromOutside(const Message& m);
    // Blocks until an item is there; false once quit() was called and the queue drained up to it.
    bool get(Item& item);
    // Ends get() for the owner after the items already posted.
    void quit();
    std::size_t pending() const;
    // Called on the posting thread just before a message is queued; for tests and tracing.
    void setPostObserver(std::function<void(const Message&)> observer);

    // The queue of the calling thread, created on first use.
    static MessageQueue& current();

private:
    // The platform's wait: wake() after an item or the quit was queued (m_ not held);
    // waitForWork() returns with m_ held once there is either, or spuriously.
    void wake();
    void waitForWork(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_;
    std::condition_variable cv_;  // POSIX only
    void* window_ = nullptr;      // Windows only: the message-only window the owner waits on
    bool wakePending_ = false;    // Windows only: a wake-up is in the window's queue
    std::deque<Item> items_;
    bool quit_ = false;
    bool grown_ = false;  // held more than a few blocks since it was last empty
    std::function<void(const Message&)> observer_;
};

}  // namespace base
