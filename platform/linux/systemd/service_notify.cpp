#include "platform/linux/systemd/service_notify.h"

#include <systemd/sd-daemon.h>

#include <algorithm>

namespace platform::linux_adapter {

void notifyServiceReady() {
    sd_notify(0, "READY=1");
}

void notifyServiceStopping() {
    sd_notify(0, "STOPPING=1");
}

void notifyServiceWatchdog() {
    sd_notify(0, "WATCHDOG=1");
}

uint32_t watchdogFeedIntervalMs() {
    uint64_t usec = 0;
    // Also false when WATCHDOG_PID names another process: the watchdog is not ours then.
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return 0;
    return static_cast<uint32_t>(std::clamp<uint64_t>(usec / 2000, 1, UINT32_MAX));
}

}  // namespace platform::linux_adapter
