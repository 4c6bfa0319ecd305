// Setting a backlight through the login manager, for sessions that may not write sysfs.
#pragma once

#include <cstdint>
#include <string>

namespace platform::linux_adapter {

// Asks the caller's session to set the backlight `name` to `raw`; false when there is no login
// manager, it refuses, or it does not answer within `timeoutMs`.
bool setBacklightThroughLogind(const std::string& name, uint32_t raw, int timeoutMs);

}  // namespace platform::linux_adapter
