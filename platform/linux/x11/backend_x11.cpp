#include "platform/linux/module/backend_api.h"
#include "platform/linux/x11/platform_info.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/x11_input.h"
#include "platform/linux/x11/x11_osd.h"

using namespace platform;
using namespace platform::linux_adapter;

VESKOSD_BACKEND(
    x11, X11Backend,
    [](const std::string& displayName, std::string& error) {
        return X11Connection::open(displayName, error);
    },
    [](std::shared_ptr<X11Connection> x) -> std::unique_ptr<OsdSurface> {
        return std::make_unique<X11Osd>(std::move(x));
    },
    [](std::shared_ptr<X11Connection> x) -> std::unique_ptr<InputDevices> {
        return std::make_unique<X11Input>(std::move(x));
    },
    [](uint32_t osVersion, std::shared_ptr<X11Connection> x) -> std::unique_ptr<PlatformInfo> {
        return std::make_unique<LinuxPlatformInfo>(osVersion, std::move(x));
    })
