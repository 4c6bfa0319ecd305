// Which backlight to drive and how its raw values map to percent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::linux_adapter {

struct BacklightDevice {
    std::string name;  // as under class/backlight
    std::string dir;   // its attribute folder
    long maxBrightness = 0;
};

// The one desktops would drive: firmware before platform before raw, then the first by name.
// Devices without a positive max_brightness are passed over.
std::optional<BacklightDevice> chooseBacklight(const std::string& sysfsRoot);

// A sysfs number attribute, surrounding white space allowed.
std::optional<long> readAttribute(const std::string& path);

uint32_t percentToRaw(uint8_t percent, long maxBrightness);
uint8_t rawToPercent(long raw, long maxBrightness);

}  // namespace platform::linux_adapter
