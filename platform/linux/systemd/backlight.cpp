#include "platform/linux/systemd/backlight.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/linux/systemd/backlight_device.h"
#include "platform/linux/systemd/backlight_logind.h"
#include "platform/linux/systemd/backlight_notices.h"

namespace platform::linux_adapter {

namespace {

class SysfsBacklight final : public platform::MonitorBrightness {
public:
    explicit SysfsBacklight(BacklightOptions options) : options_(std::move(options)) {}

    bool setLevel(uint8_t level) override {
        // Chosen anew each time: backlights come and go with drivers and docks.
        const auto device = chooseBacklight(options_.sysfsRoot);
        if (!device) return false;
        const uint32_t raw = percentToRaw(level, device->maxBrightness);
        const std::string path = device->dir + "/brightness";
        const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) {
            // Only a session without write access is worth asking the login manager for.
            if (errno != EACCES && errno != EPERM && errno != EROFS) return false;
            return setBacklightThroughLogind(device->name, raw, options_.logindTimeoutMs);
        }
        const std::string text = std::to_string(raw);
        const ssize_t n = write(fd, text.data(), text.size());
        close(fd);
        return n == static_cast<ssize_t>(text.size());
    }

    std::unique_ptr<platform::BrightnessNotices> watch() override {
        return watchBacklight(options_.sysfsRoot, options_.waitForNotices);
    }

private:
    BacklightOptions options_;
};

}  // namespace

std::unique_ptr<platform::MonitorBrightness> makeSysfsBacklight(const BacklightOptions& options) {
    return std::make_unique<SysfsBacklight>(options);
}

}  // namespace platform::linux_adapter
