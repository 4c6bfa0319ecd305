#pragma once

#include <string>

#include "platform/instance_lock.h"

namespace platform::linux_adapter {

// flock on a file named after the guard in the runtime directory; the lock dies with the process.
class FlockInstanceLock final : public InstanceLock {
public:
    explicit FlockInstanceLock(std::string directory) : directory_(std::move(directory)) {}
    bool acquire(const std::string& name) override;

private:
    std::string directory_;
};

}  // namespace platform::linux_adapter
