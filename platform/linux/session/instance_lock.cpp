#include "platform/linux/session/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <system_error>

namespace platform::linux_adapter {

namespace {

// Never destroyed: the lock is the process's for as long as it runs.
std::mutex& heldMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::set<std::string>& heldPaths() {
    static auto* s = new std::set<std::string>;
    return *s;
}

std::string errnoText(int error) {
    return std::generic_category().message(error);
}

}  // namespace

LockResult takeInstanceLock(const std::string& directory, const std::string& name,
                            std::string& why) {
    const std::string path = directory + "/" + name;
    std::lock_guard lock(heldMutex());
    if (heldPaths().count(path)) return LockResult::Held;
    // O_NONBLOCK: whatever was planted there, opening it must not wait.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        why = "instance lock " + path + ": " +
              (error == ELOOP ? std::string("is a symbolic link") : errnoText(error));
        return LockResult::Refused;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        close(fd);
        why = "instance lock " + path + " is not a regular file owned by us";
        return LockResult::Refused;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) {
            why = "another instance holds " + path;
            return LockResult::HeldElsewhere;
        }
        why = "instance lock " + path + ": " + errnoText(error);
        return LockResult::Refused;
    }
    heldPaths().insert(path);
    return LockResult::Held;  // the descriptor stays open until the process ends
}

bool FlockInstanceLock::acquire(const std::string& name) {
    std::string why;
    return takeInstanceLock(directory_, name, why) == LockResult::Held;
}

}  // namespace platform::linux_adapter
