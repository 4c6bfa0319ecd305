#include "platform/linux/systemd/backlight_notices.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/linux/systemd/backlight_device.h"

namespace platform::linux_adapter {

namespace {

// The uevent monitor for the backlight subsystem, or null where there is none to listen to.
udev_monitor* openMonitor(udev* context) {
    if (context == nullptr) return nullptr;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (monitor == nullptr) return nullptr;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "backlight", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        return nullptr;
    }
    return monitor;
}

class BacklightNotices final : public platform::BrightnessNotices {
public:
    BacklightNotices(std::string sysfsRoot, udev* context, udev_monitor* monitor,
                     std::function<int(pollfd*, nfds_t, int)> wait)
        : root_(std::move(sysfsRoot)), udev_(context), monitor_(monitor), wait_(std::move(wait)) {
        attach();
        if (valueFd_ >= 0) last_ = readLevel();
    }

    ~BacklightNotices() override {
        detach();
        if (monitor_ != nullptr) udev_monitor_unref(monitor_);
        if (udev_ != nullptr) udev_unref(udev_);
    }

    BacklightNotices(const BacklightNotices&) = delete;
    BacklightNotices& operator=(const BacklightNotices&) = delete;

    std::optional<uint8_t> next() override {
        for (;;) {
            pollfd fds[2] = {};
            nfds_t n = 0;
            const int monitorIndex = monitor_ != nullptr ? static_cast<int>(n++) : -1;
            if (monitorIndex >= 0) fds[monitorIndex] = {udev_monitor_get_fd(monitor_), POLLIN, 0};
            const int valueIndex = valueFd_ >= 0 ? static_cast<int>(n++) : -1;
            if (valueIndex >= 0) fds[valueIndex] = {valueFd_, POLLPRI, 0};
            if (n == 0) return std::nullopt;  // nothing left that could ever wake us
            if (wait_(fds, n, -1) < 0) {
                if (errno == EINTR) continue;
                return std::nullopt;
            }
            bool reread = false;
            if (monitorIndex >= 0 && fds[monitorIndex].revents != 0) {
                reread = takeUevents();
                if ((fds[monitorIndex].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                    udev_monitor_unref(monitor_);
                    monitor_ = nullptr;
                }
            }
            // sysfs flags a change as POLLPRI | POLLERR; a removed attribute keeps them raised,
            // which the failing read below turns into a detach instead of a spin.
            if (valueIndex >= 0 && fds[valueIndex].revents != 0) reread = true;
            if (!reread || valueFd_ < 0) continue;
            const auto level = readLevel();
            if (!level) {
                detach();
                continue;
            }
            // The same change often comes through both roads: only a new level is a notice.
            if (level != last_) {
                last_ = level;
                return level;
            }
        }
    }

private:
    // Drains the monitor; true when the followed backlight may have a new level.
    bool takeUevents() {
        bool reread = false;
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            const char* actionText = udev_device_get_action(device);
            const std::string_view action = actionText != nullptr ? actionText : "";
            const char* name = udev_device_get_sysname(device);
            const bool ours = valueFd_ >= 0 && name != nullptr && name_ == name;
            if (ours && action == "change") reread = true;
            if (ours && action == "remove") detach();
            // A new device may outrank the followed one; without one, any may do.
            if (valueFd_ < 0 || action == "add") reread = attach() || reread;
            udev_device_unref(device);
        }
        return reread;
    }

    // Follows the backlight desktops would choose now; true when that is a different one.
    bool attach() {
        const auto device = chooseBacklight(root_);
        if (!device) return false;
        if (valueFd_ >= 0 && device->name == name_) return false;
        detach();
        valueFd_ = open((device->dir + "/actual_brightness").c_str(), O_RDONLY | O_CLOEXEC);
        if (valueFd_ < 0) return false;
        name_ = device->name;
        max_ = device->maxBrightness;
        return true;
    }

    void detach() {
        if (valueFd_ >= 0) close(valueFd_);
        valueFd_ = -1;
        name_.clear();
    }

    // Reading from the start also re-arms POLLPRI.
    std::optional<uint8_t> readLevel() const {
        char buf[32];
        if (lseek(valueFd_, 0, SEEK_SET) < 0) return std::nullopt;
        const ssize_t got = read(valueFd_, buf, sizeof(buf) - 1);
        if (got <= 0) return std::nullopt;
        buf[got] = '\0';
        char* end = nullptr;
        const long raw = std::strtol(buf, &end, 10);
        if (end == buf) return std::nullopt;
        return rawToPercent(raw, max_);
    }

    std::string root_;
    udev* udev_;
    udev_monitor* monitor_;
    std::function<int(pollfd*, nfds_t, int)> wait_;
    int valueFd_ = -1;
    std::string name_;
    long max_ = 0;
    std::optional<uint8_t> last_;
};

}  // namespace

std::unique_ptr<platform::BrightnessNotices> watchBacklight(
    const std::string& sysfsRoot, std::function<int(pollfd*, nfds_t, int)> wait) {
    udev* context = udev_new();
    udev_monitor* monitor = openMonitor(context);
    if (monitor == nullptr && !chooseBacklight(sysfsRoot)) {
        if (context != nullptr) udev_unref(context);
        return nullptr;
    }
    return std::make_unique<BacklightNotices>(sysfsRoot, context, monitor, std::move(wait));
}

}  // namespace platform::linux_adapter
