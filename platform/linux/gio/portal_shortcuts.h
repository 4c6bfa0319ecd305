// Global shortcuts through the desktop portal, for a desktop that keeps global keys to itself
// (Wayland): the desktop asks the user once to confirm the keys, then tells us when one is
// pressed.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform::linux_adapter {

struct PortalShortcut {
    std::string id;           // stable, so the desktop keeps the user's choice across starts
    std::string description;  // what the desktop shows the user
    std::string trigger;      // the preferred key, as an XKB keysym name
};

// Creates a GlobalShortcuts session on the session bus and binds `shortcuts` in it, all on the bus
// thread; returns at once. `activated` runs on the bus thread with the id of each shortcut
// pressed. A portal that is absent or refuses leaves one line on stderr, and nothing else.
void bindPortalShortcuts(std::vector<PortalShortcut> shortcuts,
                         std::function<void(const std::string& id)> activated);

}  // namespace platform::linux_adapter
