#include "platform/linux/module/backend_api.h"
#include "platform/linux/wayland/wayland_display.h"
#include "platform/linux/wayland/wayland_input.h"
#include "platform/linux/wayland/wayland_osd.h"

using namespace platform;
using namespace platform::linux_adapter;

VESKOSD_BACKEND(
    wayland, WaylandBackend,
    [](const std::string& name, std::string& error) { return WaylandDisplay::open(name, error); },
    [](const std::shared_ptr<WaylandDisplay>& w) { return w->hasLayerShell(); },
    [](std::shared_ptr<WaylandDisplay> w,
       const std::string& output) -> std::unique_ptr<OsdSurface> {
        return std::make_unique<WaylandOsd>(std::move(w), output);
    },
    [](std::shared_ptr<WaylandDisplay> w) -> std::unique_ptr<InputDevices> {
        return std::make_unique<WaylandInput>(std::move(w));
    })
