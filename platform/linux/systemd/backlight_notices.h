// Change notices of the chosen backlight, woken only by the kernel: POLLPRI on
// actual_brightness and udev uevents of the backlight subsystem.
#pragma once

#include <memory>
#include <string>

#include "platform/monitor_brightness.h"

namespace platform::linux_adapter {

// Null when there is no backlight and none could ever be announced (no udev monitor).
std::unique_ptr<platform::BrightnessNotices> watchBacklight(const std::string& sysfsRoot);

}  // namespace platform::linux_adapter
