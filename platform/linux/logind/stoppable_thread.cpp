#include "platform/linux/logind/stoppable_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace platform::linux_adapter {

StoppableThread::~StoppableThread() {
    stop();
}

int StoppableThread::stopFd() {
    if (stopFd_ < 0) stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return stopFd_;
}

bool StoppableThread::start(std::function<void()> body) {
    if (running() || stopFd() < 0) return false;
    thread_ = std::thread(std::move(body));
    return true;
}

void StoppableThread::stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)!write(stopFd_, &one, sizeof(one));
        thread_.join();
    }
    if (stopFd_ >= 0) close(stopFd_);
    stopFd_ = -1;
}

}  // namespace platform::linux_adapter
