#include "platform/linux/gio/glib_launcher.h"
#include "platform/linux/gio/notification_osd.h"
#include "platform/linux/gio/portal_shortcuts.h"
#include "platform/linux/module/backend_api.h"

using namespace platform;
using namespace platform::linux_adapter;

namespace {

std::optional<std::vector<std::string>> launchArguments(const std::string& file,
                                                        const std::string& parameters,
                                                        std::string& why) {
    auto words = splitParameters(parameters, why);
    if (!words) return std::nullopt;
    words->insert(words->begin(), unquotedProgramFile(file));
    return words;
}

}  // namespace

VESKOSD_BACKEND(gio, GioBackend, makeLauncher, launchArguments, makeNotificationOsd,
                bindPortalShortcuts)
