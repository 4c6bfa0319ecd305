#include "platform/linux/serial/path_watcher.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace platform::linux_adapter {

namespace {

constexpr uint32_t kDirectoryMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                    IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// A directory whose next step is there as a directory of its own: only its own going matters,
// since that next directory's watch sees what happens below it. Names coming and going beside
// the path (in /dev or /tmp, say) then wake nobody.
constexpr uint32_t kPassageMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// While an arrival waits for its permissions, it is looked at this often.
constexpr int kPermissionRetryMs = 100;

void complain(const std::string& what) {
    std::fprintf(stderr, "veskosd: cannot watch %s: %s\n", what.c_str(),
                 std::generic_category().message(errno).c_str());
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

PathWatcher::PathWatcher(std::string path, std::string portName)
    : path_(std::move(path)), portName_(std::move(portName)) {
    // A relative path is followed from where we started.
    std::string absolute = path_;
    if (absolute.empty() || absolute[0] != '/') {
        char cwd[4096];
        absolute = std::string(getcwd(cwd, sizeof(cwd)) ? cwd : ".") + "/" + path_;
    }
    std::vector<std::string> parts;
    for (std::size_t at = 0; at < absolute.size();) {
        const std::size_t slash = absolute.find('/', at);
        const std::size_t end = slash == std::string::npos ? absolute.size() : slash;
        if (end > at) parts.push_back(absolute.substr(at, end - at));
        at = end + 1;
    }
    std::string dir = "/";
    for (const auto& part : parts) {
        steps_.emplace_back(dir, part);
        dir += (dir.size() > 1 ? "/" : "") + part;
    }
}

PathWatcher::~PathWatcher() {
    if (thread_.joinable()) {
        stop_ = true;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], "s", 1);
        thread_.join();
    }
    closeFd(inotify_);
    closeFd(wake_[0]);
    closeFd(wake_[1]);
    closeFd(newHandle_);
    closeFd(handle_);
}

void PathWatcher::start(std::function<void(const DeviceNotice&)> deliver) {
    if (thread_.joinable() || steps_.empty()) return;
    deliver_ = std::move(deliver);
    inotify_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (inotify_ < 0 || pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        complain(path_);
        closeFd(inotify_);
        return;
    }
    // What is there now was opened, or not, by start-up itself: only changes are told.
    rescan(false);
    thread_ = std::thread([this] { run(); });
}

bool PathWatcher::registerHandle(intptr_t handle) {
    if (handle < 0) return false;
    // A copy of our own, so that the number cannot name another file once the port is closed.
    const int copy = fcntl(static_cast<int>(handle), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return false;
    {
        std::lock_guard lock(m_);
        closeFd(newHandle_);
        newHandle_ = copy;
    }
    if (wake_[1] >= 0) [[maybe_unused]]
        const ssize_t n = ::write(wake_[1], "h", 1);
    return true;
}

void PathWatcher::run() {
    pthread_setname_np(pthread_self(), "device-watch");
    takeNewHandle();
    while (!stop_) {
        // Events 0 on the handle: only its hang-up or error is reported.
        pollfd p[3] = {{inotify_, POLLIN, 0}, {wake_[0], POLLIN, 0}, {handle_, 0, 0}};
        const int r = poll(p, 3, arrivalDeadline_ ? kPermissionRetryMs : -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            complain(path_);
            return;
        }
        if (handle_ >= 0 && (p[2].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            // The far end hung up: the line is gone though its path stays.
            removed();
        }
        if (p[1].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof(drain)) > 0) {
            }
            takeNewHandle();
        }
        if (p[0].revents & POLLIN) readEvents();
        retryArrival();
    }
}

void PathWatcher::readEvents() {
    alignas(inotify_event) char buf[4096];
    bool changed = false;
    for (;;) {
        const ssize_t n = ::read(inotify_, buf, sizeof(buf));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (char* p = buf; p < buf + n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + ev->len;
            // Lost events: only a fresh look tells what happened.
            if (ev->mask & IN_Q_OVERFLOW) {
                changed = true;
                continue;
            }
            const auto it = watches_.find(ev->wd);
            if (it == watches_.end()) continue;
            // A watched directory gone, or something come or gone under the name looked for.
            const bool lost =
                (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0;
            if (lost || (ev->len > 0 && steps_[it->second].second == ev->name)) changed = true;
        }
    }
    if (changed) rescan();
}

void PathWatcher::rescan(bool tell) {
    // Each directory is watched before the next one is looked for, so one made in between is
    // still seen.
    std::map<int, std::size_t> now;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        struct stat next {};
        const bool passage = i + 1 < steps_.size() &&
                             lstat(steps_[i + 1].first.c_str(), &next) == 0 &&
                             S_ISDIR(next.st_mode);
        const int wd = inotify_add_watch(inotify_, steps_[i].first.c_str(),
                                         passage ? kPassageMask : kDirectoryMask);
        if (wd < 0) {
            // Gone since the step before looked: that one watches for its return after all.
            if (i > 0) inotify_add_watch(inotify_, steps_[i - 1].first.c_str(), kDirectoryMask);
            break;
        }
        now[wd] = i;
    }
    for (const auto& [wd, step] : watches_) {
        if (!now.contains(wd)) inotify_rm_watch(inotify_, wd);
    }
    watches_ = std::move(now);

    struct stat st {};
    std::optional<Node> node;
    if (lstat(path_.c_str(), &st) == 0) node = Node{st.st_dev, st.st_ino};
    if (node == node_) return;
    const bool had = node_.has_value();
    node_ = node;
    arrivalDeadline_.reset();
    if (!tell) return;
    // Something new in the old one's place is a removal, then an arrival.
    if (had) removed();
    if (node) {
        arrivalDeadline_ = std::chrono::steady_clock::now() + kPermissionGrace;
        retryArrival();
    }
}

void PathWatcher::retryArrival() {
    if (!arrivalDeadline_) return;
    // udev sets a new node's permissions just after making it.
    const bool refused =
        faccessat(AT_FDCWD, path_.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES;
    if (refused && std::chrono::steady_clock::now() < *arrivalDeadline_) return;
    arrivalDeadline_.reset();
    arrived();
}

void PathWatcher::arrived() {
    deliver_({DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT, portName_});
}

void PathWatcher::removed() {
    // The owner of a registered handle is asked first, then everyone is told.
    if (handle_ >= 0) deliver_({DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_HANDLE, {}});
    closeFd(handle_);
    deliver_({DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, portName_});
}

void PathWatcher::takeNewHandle() {
    std::lock_guard lock(m_);
    if (newHandle_ < 0) return;
    closeFd(handle_);
    handle_ = newHandle_;
    newHandle_ = -1;
}

}  // namespace platform::linux_adapter
