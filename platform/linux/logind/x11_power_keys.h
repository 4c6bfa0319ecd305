// The power and sleep keys as the X server sees them: its own input devices include the
// machine's power button, which a user's process usually cannot open directly.
#pragma once

#include <functional>
#include <string>

#include "platform/linux/logind/power_key.h"
#include "platform/linux/logind/stoppable_thread.h"

namespace platform::linux_adapter {

class X11PowerKeys final : public PowerKeySource {
public:
    // `display` as XOpenDisplay takes it; empty for DISPLAY.
    explicit X11PowerKeys(std::string display);
    ~X11PowerKeys() override;
    X11PowerKeys(const X11PowerKeys&) = delete;
    X11PowerKeys& operator=(const X11PowerKeys&) = delete;

    // Raw key presses on a connection of its own, seen also while another client holds a
    // grab; 1 while watching, 0 when there is no display or no input extension 2.1.
    int start(std::function<void(PowerButton)> onPress) override;
    void stop() override;

private:
    std::string display_;
    StoppableThread reader_;
};

}  // namespace platform::linux_adapter
