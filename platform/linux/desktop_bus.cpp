#include "platform/linux/desktop_bus.h"

#include <cstdio>

#include "platform/linux/module/backend_loader.h"

namespace platform::linux_adapter {

std::unique_ptr<OsdSurface> makeNotificationOsd(AdapterChoices& choices) {
    std::string why;
    const auto* gio = loadBackend<GioBackend>("gio", why);
    if (!gio) {
        choices.unavailable("gio", why);
        return nullptr;
    }
    return gio->notificationOsd();
}

bool startPortalShortcuts(std::vector<PortalShortcut> shortcuts,
                          std::function<void(const std::string& id)> activated) {
    std::string why;
    const auto* gio = loadBackend<GioBackend>("gio", why);
    if (!gio) {
        std::fprintf(stderr, "veskosd: portal shortcuts: %s\n", why.c_str());
        return false;
    }
    gio->portalShortcuts(std::move(shortcuts), std::move(activated));
    return true;
}

}  // namespace platform::linux_adapter
