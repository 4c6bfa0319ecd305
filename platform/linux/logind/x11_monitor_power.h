// Monitor power from the X server: the screen saver's activation stands for the monitor going
// off (the server blanks through it when the monitor is powered down), its end for the
// monitor coming back.
#pragma once

#include <functional>
#include <string>

#include "platform/linux/logind/logind_power.h"
#include "platform/linux/logind/stoppable_thread.h"

namespace platform::linux_adapter {

class X11MonitorPower final : public MonitorPowerSource {
public:
    // `display` as XOpenDisplay takes it; empty for DISPLAY.
    explicit X11MonitorPower(std::string display);
    ~X11MonitorPower() override;
    X11MonitorPower(const X11MonitorPower&) = delete;
    X11MonitorPower& operator=(const X11MonitorPower&) = delete;

    // Opens a connection of its own; false when there is no display or no screen-saver
    // extension there.
    bool start(std::function<void(bool on)> report) override;

private:
    std::string display_;
    StoppableThread reader_;
};

}  // namespace platform::linux_adapter
