// The OSD as a desktop notification, for a desktop where no window of ours can float above the
// others: each show sends the level as the notification's "value" hint, replacing the notice
// before it.
#pragma once

#include <memory>

#include "platform/osd_surface.h"

namespace platform::linux_adapter {

// Frames are kept in memory as by the headless OSD (for screenshots); the notices go to
// org.freedesktop.Notifications on the session bus from the bus thread.
std::unique_ptr<OsdSurface> makeNotificationOsd();

}  // namespace platform::linux_adapter
