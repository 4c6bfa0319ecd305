// The service manager's notification protocol (sd_notify). Each call does nothing when the
// process was not started by a service manager.
#pragma once

#include <cstdint>

namespace platform::linux_adapter {

void notifyServiceReady();
void notifyServiceStopping();
void notifyServiceWatchdog();

// Half the watchdog time-out the service manager set for this process, in milliseconds (at
// least 1); 0 when it asked for no watchdog.
uint32_t watchdogFeedIntervalMs();

}  // namespace platform::linux_adapter
