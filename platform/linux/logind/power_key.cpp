#include "platform/linux/logind/power_key.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace platform::linux_adapter {

namespace {

struct Device {
    int fd = -1;
    libevdev* dev = nullptr;
    bool syncing = false;
};

bool hasPowerKey(libevdev* dev) {
    return libevdev_has_event_code(dev, EV_KEY, KEY_POWER) ||
           libevdev_has_event_code(dev, EV_KEY, KEY_SLEEP) ||
           libevdev_has_event_code(dev, EV_KEY, KEY_SUSPEND);
}

std::vector<Device> openDevices(const std::string& dir) {
    std::vector<Device> devices;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().rfind("event", 0) != 0) continue;
        const std::string path = it->path().string();
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;  // not ours to read
        libevdev* dev = nullptr;
        if (libevdev_new_from_fd(fd, &dev) < 0 || !hasPowerKey(dev)) {
            libevdev_free(dev);
            close(fd);
            continue;
        }
        devices.push_back({fd, dev});
    }
    return devices;
}

// Hands the presses buffered on `d` over; false when the device is gone.
bool drain(Device& d, const std::function<void(PowerButton)>& onPress) {
    for (;;) {
        input_event ev{};
        const unsigned flags = d.syncing ? LIBEVDEV_READ_FLAG_SYNC : LIBEVDEV_READ_FLAG_NORMAL;
        const int got = libevdev_next_event(d.dev, flags, &ev);
        if (got == LIBEVDEV_READ_STATUS_SYNC) {
            // Replayed key states after dropped events are not presses.
            d.syncing = true;
            continue;
        }
        if (got == LIBEVDEV_READ_STATUS_SUCCESS) {
            if (const auto button = powerKeyPress(ev)) onPress(*button);
            continue;
        }
        if (got == -EINTR) continue;
        if (got != -EAGAIN) return false;
        if (!d.syncing) return true;
        d.syncing = false;
    }
}

void readKeys(std::vector<Device> devices, int wake,
              const std::function<void(PowerButton)>& onPress) {
    while (!devices.empty()) {
        std::vector<pollfd> fds{{wake, POLLIN, 0}};
        for (const Device& d : devices) fds.push_back({d.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        for (std::size_t i = devices.size(); i-- > 0;) {
            const short ev = fds[i + 1].revents;
            if (!ev) continue;
            if (!drain(devices[i], onPress) || (ev & (POLLHUP | POLLERR | POLLNVAL))) {
                libevdev_free(devices[i].dev);
                close(devices[i].fd);
                devices.erase(devices.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
    for (Device& d : devices) {
        libevdev_free(d.dev);
        close(d.fd);
    }
}

}  // namespace

std::optional<PowerButton> powerKeyPress(const input_event& ev) {
    if (ev.type != EV_KEY || ev.value != 1) return std::nullopt;
    if (ev.code == KEY_POWER) return PowerButton::Power;
    if (ev.code == KEY_SLEEP || ev.code == KEY_SUSPEND) return PowerButton::Sleep;
    return std::nullopt;
}

PowerKeys::PowerKeys(std::string inputDir) : dir_(std::move(inputDir)) {}

PowerKeys::~PowerKeys() {
    stop();
}

int PowerKeys::start(std::function<void(PowerButton)> onPress) {
    if (reader_.running()) return count_;
    std::vector<Device> devices = openDevices(dir_);
    if (devices.empty()) return 0;
    const int wake = reader_.stopFd();
    if (wake < 0) {
        for (Device& d : devices) {
            libevdev_free(d.dev);
            close(d.fd);
        }
        return 0;
    }
    const int count = static_cast<int>(devices.size());
    count_ = count;
    reader_.start([devices = std::move(devices), wake, onPress = std::move(onPress)] {
        readKeys(devices, wake, onPress);
    });
    return count;
}

void PowerKeys::stop() {
    reader_.stop();
}

}  // namespace platform::linux_adapter
