// Raw HID input on Linux: the hidraw nodes whose report descriptor carries a registered
// application collection are read by one thread, which posts each report of a registered
// collection to its window as WM_INPUT.
#pragma once

#include <chrono>
#include <memory>

#include "platform/linux/hid/hidraw_devices.h"
#include "platform/raw_input.h"

namespace platform::linux_adapter {

struct HidrawOptions {
    // Null: the system's nodes through libudev.
    std::shared_ptr<HidrawDevices> devices;
    // udev grants access to a node just after it appears: a refused open is tried again this
    // many times, the wait doubling from the first delay.
    int openRetries = 5;
    std::chrono::milliseconds firstRetryDelay{50};
};

std::unique_ptr<platform::RawInput> makeHidrawInput(const HidrawOptions& options = {});

}  // namespace platform::linux_adapter
