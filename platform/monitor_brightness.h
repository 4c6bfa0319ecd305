// The panel's brightness as the desktop sees it: a level in percent that can be set, and notices
// of every change, whoever made it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

class BrightnessNotices {
public:
    virtual ~BrightnessNotices() = default;
    // Blocks until the next change and gives its level, 0 to 100; empty once the notices have
    // ended for good.
    virtual std::optional<uint8_t> next() = 0;
};

class MonitorBrightness {
public:
    virtual ~MonitorBrightness() = default;
    // Applies a level of 0 to 100 to the first panel; false when it could not.
    virtual bool setLevel(uint8_t level) = 0;
    // The change notices of the first panel, or null when there is none to follow.
    virtual std::unique_ptr<BrightnessNotices> watch() = 0;
};

}  // namespace platform
