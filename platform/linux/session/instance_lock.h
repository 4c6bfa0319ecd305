#pragma once

#include <string>

#include "platform/instance_lock.h"

namespace platform::linux_adapter {

enum class LockResult {
    Held,           // taken by this process, kept until it ends
    HeldElsewhere,  // another process holds it
    Refused,        // the lock file is not a regular file of ours, or cannot be locked
};

// flock on DIRECTORY/NAME, created 0600 and never followed through a link. Taken first at
// start-up, before anything else is built; `why` says what stood in the way otherwise.
LockResult takeInstanceLock(const std::string& directory, const std::string& name,
                            std::string& why);

// The guard as the core asks for it: true when this process holds the lock already (taken at
// start-up) or takes it now.
class FlockInstanceLock final : public InstanceLock {
public:
    explicit FlockInstanceLock(std::string directory) : directory_(std::move(directory)) {}
    bool acquire(const std::string& name) override;

private:
    std::string directory_;
};

}  // namespace platform::linux_adapter
