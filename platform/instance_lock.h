#pragma once

#include <string>

namespace platform {

// The single-instance guard. acquire() is false when another process holds the name; a lock
// taken is kept until the process ends.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
    virtual bool acquire(const std::string& name) = 0;
};

}  // namespace platform
