#include "platform/linux/path_watcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "base/thread.h"

namespace platform::linux_adapter {

void PathWatcher::start(std::function<void(const DeviceNotice&)> deliver) {
    deliver_ = std::move(deliver);
    const auto slash = path_.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    const int fd = inotify_init1(IN_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "veskosd: cannot watch %s: %s\n", path_.c_str(),
                     std::generic_category().message(errno).c_str());
        return;
    }
    const int wd =
        inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO);
    if (wd < 0) {
        std::fprintf(stderr, "veskosd: cannot watch %s: %s\n", dir.c_str(),
                     std::generic_category().message(errno).c_str());
        close(fd);
        return;
    }
    base::startThread("device-watch", [this, fd, wd, name] { watch(fd, wd, name); });
}

bool PathWatcher::registerHandle(intptr_t handle) {
    if (handle < 0) return false;
    handle_ = handle;
    return true;
}

void PathWatcher::watch(int fd, int wd, const std::string& name) {
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        for (char* p = buf; p < buf + n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + ev->len;
            if (ev->wd != wd || ev->len == 0 || name != ev->name) continue;
            if (ev->mask & (IN_CREATE | IN_MOVED_TO)) {
                deliver_({DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT, portName_});
            } else if (ev->mask & (IN_DELETE | IN_MOVED_FROM)) {
                // The owner of a registered handle is asked first, then everyone is told.
                if (handle_ >= 0) deliver_({DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_HANDLE, {}});
                deliver_({DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, portName_});
            }
        }
    }
}

}  // namespace platform::linux_adapter
