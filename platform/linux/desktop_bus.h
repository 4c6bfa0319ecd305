// The adapters that reach the desktop over the session bus (the gio module): the OSD as desktop
// notifications, and global shortcuts through the desktop portal.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/machine.h"

namespace platform::linux_adapter {

// Null, with the module named unavailable in `choices`, when the gio module cannot be had.
std::unique_ptr<OsdSurface> makeNotificationOsd(AdapterChoices& choices);

// Starts binding `shortcuts` through the portal; `activated` runs on the module's bus thread.
// False, with a line on stderr, when the gio module cannot be had.
bool startPortalShortcuts(std::vector<PortalShortcut> shortcuts,
                          std::function<void(const std::string& id)> activated);

}  // namespace platform::linux_adapter
