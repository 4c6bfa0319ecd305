// On the display-controller model the device events become command frames.
#pragma once

#include <atomic>
#include <cstdint>

// Set by the raw-input brightness keys when a press starts: read the controller's level first.
extern std::atomic<int32_t> bQueryBrightnessFirst;

void registerControllerHandlers();
