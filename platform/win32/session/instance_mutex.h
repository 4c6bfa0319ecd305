// The single-instance guard: a named kernel mutex, held until the process ends.
#pragma once

#include <mutex>
#include <string>

#include "platform/instance_lock.h"

namespace platform::win32 {

class InstanceMutex : public InstanceLock {
public:
    // True when this process made the mutex, now or at an earlier call; false when another
    // process holds it, or it could not be made.
    bool acquire(const std::string& name) override;

private:
    std::mutex m_;
    std::string held_;
};

}  // namespace platform::win32
