#include "platform/linux/logind/logind_inhibitor.h"

#include <unistd.h>

#include "platform/linux/logind/logind_bus.h"

namespace platform::linux_adapter {

Inhibitor::Inhibitor(std::string what, std::string why, std::string mode)
    : what_(std::move(what)), why_(std::move(why)), mode_(std::move(mode)) {}

Inhibitor::~Inhibitor() {
    release();
}

bool Inhibitor::take(int timeoutMs) {
    std::lock_guard l(m_);
    if (fd_ < 0) fd_ = logind::inhibit(what_, why_, mode_, timeoutMs);
    return fd_ >= 0;
}

void Inhibitor::release() {
    const int fd = detach();
    if (fd >= 0) close(fd);
}

bool Inhibitor::held() const {
    std::lock_guard l(m_);
    return fd_ >= 0;
}

int Inhibitor::detach() {
    std::lock_guard l(m_);
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

}  // namespace platform::linux_adapter
