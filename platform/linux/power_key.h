// The machine's power and sleep keys, read from evdev while the login manager leaves them to us.
#pragma once

#include <linux/input.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/power.h"

namespace platform::linux_adapter {

// The button a key press stands for; empty for releases, repeats and other keys.
std::optional<PowerButton> powerKeyPress(const input_event& ev);

class PowerKeys {
public:
    explicit PowerKeys(std::string inputDir = "/dev/input");
    ~PowerKeys();
    PowerKeys(const PowerKeys&) = delete;
    PowerKeys& operator=(const PowerKeys&) = delete;

    // Opens every readable device that has a power or sleep key and reports their presses on a
    // thread of its own until stop(); the number of devices opened. Does nothing while running.
    int start(std::function<void(PowerButton)> onPress);
    // Closes the devices; waits for a press being handled.
    void stop();

private:
    std::string dir_;
    std::thread reader_;
    int wake_ = -1;
};

}  // namespace platform::linux_adapter
