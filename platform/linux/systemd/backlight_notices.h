// Change notices of the chosen backlight, woken only by the kernel: POLLPRI on
// actual_brightness and udev uevents of the backlight subsystem.
#pragma once

#include <poll.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/monitor_brightness.h"

namespace platform::linux_adapter {

// Null when there is no backlight and none could ever be announced (no udev monitor).
// `wait` is poll(2) or a test's stand-in for it.
std::unique_ptr<platform::BrightnessNotices> watchBacklight(
    const std::string& sysfsRoot, std::function<int(pollfd*, nfds_t, int)> wait = ::poll);

}  // namespace platform::linux_adapter
