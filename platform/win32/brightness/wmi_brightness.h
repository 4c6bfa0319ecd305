// The panel's brightness through WMI in ROOT\WMI: WmiSetBrightness of the first monitor's
// WmiMonitorBrightnessMethods, and WmiMonitorBrightnessEvent notices, each on COM initialised
// for the caller's thread.
#pragma once

#include <memory>

#include "platform/monitor_brightness.h"

namespace platform::win32 {

struct WmiCalls;

class WmiMonitorBrightness final : public MonitorBrightness {
public:
    WmiMonitorBrightness();
    explicit WmiMonitorBrightness(const WmiCalls& calls);
    ~WmiMonitorBrightness() override;
    WmiMonitorBrightness(const WmiMonitorBrightness&) = delete;
    WmiMonitorBrightness& operator=(const WmiMonitorBrightness&) = delete;

    // False also where no monitor has the method: that is not called then.
    bool setLevel(uint8_t level) override;
    // The notices belong to the calling thread's COM apartment: read and end them there.
    std::unique_ptr<BrightnessNotices> watch() override;

private:
    std::unique_ptr<WmiCalls> calls_;
};

}  // namespace platform::win32
