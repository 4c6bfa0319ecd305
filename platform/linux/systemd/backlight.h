// The panel backlight under /sys/class/backlight, set directly or through the login manager and
// followed through its change notices.
#pragma once

#include <poll.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/monitor_brightness.h"

namespace platform::linux_adapter {

struct BacklightOptions {
    std::string sysfsRoot = "/sys";
    // How long a set may wait for the login manager; the set runs on the GUI thread.
    int logindTimeoutMs = 500;
    // The notices' wait, poll(2). sysfs raises POLLPRI on a changed attribute, which an emulated
    // attribute (a plain file) cannot: a test answers that entry itself.
    std::function<int(pollfd*, nfds_t, int)> waitForNotices = ::poll;
};

std::unique_ptr<platform::MonitorBrightness> makeSysfsBacklight(const BacklightOptions& options);

}  // namespace platform::linux_adapter
