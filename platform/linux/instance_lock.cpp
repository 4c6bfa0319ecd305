#include "platform/linux/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace platform::linux_adapter {

bool FlockInstanceLock::acquire(const std::string& name) {
    const std::string path = directory_ + "/" + name;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a lock file we cannot tell; running twice is the lesser harm than not at all.
        std::fprintf(stderr, "veskosd: instance lock %s: %s\n", path.c_str(),
                     std::generic_category().message(errno).c_str());
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    return true;  // the descriptor stays open until the process ends
}

}  // namespace platform::linux_adapter
