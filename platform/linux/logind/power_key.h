// The machine's power and sleep keys, read from evdev while the login manager leaves them to us.
#pragma once

#include <linux/input.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/linux/logind/stoppable_thread.h"
#include "platform/power.h"

namespace platform::linux_adapter {

// The button a key press stands for; empty for releases, repeats and other keys.
std::optional<PowerButton> powerKeyPress(const input_event& ev);

// Somewhere power and sleep key presses can be heard.
class PowerKeySource {
public:
    virtual ~PowerKeySource() = default;
    // Reports presses on a thread of its own until stop(); how many devices it hears, 0 when
    // none. While running, it keeps the first reporter and answers the same count.
    virtual int start(std::function<void(PowerButton)> onPress) = 0;
    // Waits for a press being handled.
    virtual void stop() = 0;
};

// The evdev devices with a power or sleep key that this user may read.
class PowerKeys final : public PowerKeySource {
public:
    explicit PowerKeys(std::string inputDir = "/dev/input");
    ~PowerKeys() override;
    PowerKeys(const PowerKeys&) = delete;
    PowerKeys& operator=(const PowerKeys&) = delete;

    int start(std::function<void(PowerButton)> onPress) override;
    void stop() override;

private:
    std::string dir_;
    StoppableThread reader_;
    int count_ = 0;
};

}  // namespace platform::linux_adapter
