// How long the X server lets the display sit idle before it blanks or powers it down.
#pragma once

#include <cstdint>

struct _XDisplay;  // NOLINT(bugprone-reserved-identifier): Xlib's own name for Display

namespace platform::linux_adapter {

// The DPMS standby time-out while DPMS is on and has one, else the screen-saver time-out, in
// seconds; 0 when neither is set. The caller serialises its use of the connection.
uint32_t x11DimTimeoutSeconds(_XDisplay* display);

}  // namespace platform::linux_adapter
