#include "platform/linux/acpi/evdev_buttons.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "base/event.h"
#include "base/thread.h"

namespace platform::linux_adapter {

namespace {

std::string errorText(int err) {
    return std::generic_category().message(err);
}

}  // namespace

std::optional<uint32_t> notifyCodeForKey(const input_event& ev) {
    if (ev.type != EV_KEY || (ev.value != 0 && ev.value != 1)) return std::nullopt;
    const bool press = ev.value == 1;
    switch (ev.code) {
        case KEY_MUTE:
            return press ? 0xC7u : 0xC6u;
        case KEY_VOLUMEUP:
            return press ? 0xC8u : 0xC9u;
        case KEY_VOLUMEDOWN:
            return press ? 0xCAu : 0xCBu;
        default:
            return std::nullopt;
    }
}

void NotifyQueue::push(uint32_t code) {
    std::lock_guard lock(mutex_);
    if (codes_.size() == kCapacity) codes_.pop_front();
    codes_.push_back(code);
    base::setEvent(event_);
}

std::optional<uint32_t> NotifyQueue::pop() {
    std::lock_guard lock(mutex_);
    if (codes_.empty()) return std::nullopt;
    const uint32_t code = codes_.front();
    codes_.pop_front();
    if (!codes_.empty()) base::setEvent(event_);
    return code;
}

void NotifyQueue::setEvent(base::Event* event) {
    std::lock_guard lock(mutex_);
    event_ = event;
    if (!codes_.empty()) base::setEvent(event_);
}

ButtonRead readRawEvent(int fd, input_event& ev) {
    for (;;) {
        const ssize_t n = read(fd, &ev, sizeof(ev));
        if (n == static_cast<ssize_t>(sizeof(ev))) return ButtonRead::Event;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return ButtonRead::Again;
        // End of file, an error, or a torn record: the source is no use any more.
        return ButtonRead::Gone;
    }
}

void readButtons(int fd, const std::function<ButtonRead(input_event&)>& next, NotifyQueue& queue) {
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, -1);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return;
        // Drain first: a device that hung up may still hold events.
        for (;;) {
            input_event ev{};
            const ButtonRead got = next(ev);
            if (got == ButtonRead::Gone) return;
            if (got == ButtonRead::Again) break;
            if (const auto code = notifyCodeForKey(ev)) queue.push(*code);
        }
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return;
    }
}

bool startButtonReader(const std::string& path, const std::shared_ptr<NotifyQueue>& queue,
                       GrabButtons grab) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "veskosd: cannot open the firmware buttons %s: %s\n", path.c_str(),
                     errorText(errno).c_str());
        return false;
    }
    libevdev* dev = nullptr;
    const int rc = libevdev_new_from_fd(fd, &dev);
    if (rc < 0) {
        std::fprintf(stderr, "veskosd: %s is not an input device: %s\n", path.c_str(),
                     errorText(-rc).c_str());
        close(fd);
        return false;
    }
    // Grabbed, so the desktop does not change the volume a second time for the same press.
    const int grabbed = grab(dev, LIBEVDEV_GRAB);
    if (grabbed < 0) {
        std::fprintf(stderr, "veskosd: cannot grab the firmware buttons %s: %s\n", path.c_str(),
                     errorText(-grabbed).c_str());
    }
    const bool started = base::startThread("firmware-buttons", [fd, dev, path, queue] {
        bool syncing = false;
        readButtons(
            fd,
            [dev, &syncing](input_event& ev) {
                for (;;) {
                    const unsigned flags =
                        syncing ? LIBEVDEV_READ_FLAG_SYNC : LIBEVDEV_READ_FLAG_NORMAL;
                    const int got = libevdev_next_event(dev, flags, &ev);
                    if (got == LIBEVDEV_READ_STATUS_SUCCESS) return ButtonRead::Event;
                    // After dropped events libevdev replays the changed key states: a release
                    // lost in the drop still arrives.
                    if (got == LIBEVDEV_READ_STATUS_SYNC) {
                        syncing = true;
                        return ButtonRead::Event;
                    }
                    if (got == -EINTR) continue;
                    if (got != -EAGAIN) return ButtonRead::Gone;
                    if (!syncing) return ButtonRead::Again;
                    syncing = false;
                }
            },
            *queue);
        std::fprintf(stderr, "veskosd: the firmware buttons %s went away\n", path.c_str());
        libevdev_free(dev);
        close(fd);
    });
    if (!started) {
        libevdev_free(dev);
        close(fd);
    }
    return started;
}

}  // namespace platform::linux_adapter
