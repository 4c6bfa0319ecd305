// A thread that waits in poll() on its own descriptors and on one more, which stop() rings: it
// sleeps without a time-out and still ends at once when asked.
#pragma once

#include <functional>
#include <thread>

namespace platform::linux_adapter {

class StoppableThread {
public:
    StoppableThread() = default;
    ~StoppableThread();
    StoppableThread(const StoppableThread&) = delete;
    StoppableThread& operator=(const StoppableThread&) = delete;

    bool running() const { return thread_.joinable(); }
    // The descriptor the thread polls to learn that it is to end; made on first use, -1 when
    // none can be had.
    int stopFd();
    // Runs `body` on a thread of its own; false, with nothing started, without a stop descriptor.
    bool start(std::function<void()> body);
    // Rings the stop descriptor, waits for the thread and closes the descriptor; the thread may
    // be started again afterwards.
    void stop();

private:
    std::thread thread_;
    int stopFd_ = -1;
};

}  // namespace platform::linux_adapter
