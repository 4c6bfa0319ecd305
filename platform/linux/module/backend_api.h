// What each backend module hands the daemon: one table of factories per library family, reached
// through the module's C entry point `veskosd_backend_<family>`. The program and its modules are
// built together, so the tables are plain C++; the build identifier each module exports beside
// its entry point keeps a module of other sources or settings (an installed one found from a
// build tree, say) from being used.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/gio/portal_shortcuts.h"
#include "platform/linux/module/build_id.h"
#include "platform/ports.h"

namespace platform::linux_adapter {

class X11Connection;
class WaylandDisplay;

// Made from the sources and the build's settings: the daemon loads only modules that carry its own.
inline constexpr const char* kBackendBuildId = VESKOSD_BUILD_ID;

// X11 with XInput2, XTest, RandR and DPMS: the OSD window, the keyboard and mouse, the dim
// time-out.
struct X11Backend {
    // Null, with the reason in `error`, when the display cannot be opened.
    std::shared_ptr<X11Connection> (*open)(const std::string& displayName, std::string& error);
    std::unique_ptr<OsdSurface> (*osd)(std::shared_ptr<X11Connection> x);
    std::unique_ptr<InputDevices> (*input)(std::shared_ptr<X11Connection> x);
    std::unique_ptr<PlatformInfo> (*info)(uint32_t osVersion, std::shared_ptr<X11Connection> x);
};

// Wayland (libwayland-client): the OSD as a layer-shell surface, the input-blocking overlay and
// the virtual keyboard.
struct WaylandBackend {
    // Null, with the reason in `error`, when no compositor answers at `name` (WAYLAND_DISPLAY).
    std::shared_ptr<WaylandDisplay> (*open)(const std::string& name, std::string& error);
    bool (*hasLayerShell)(const std::shared_ptr<WaylandDisplay>& w);
    // `output`: "focused", "all" or an output's name.
    std::unique_ptr<OsdSurface> (*osd)(std::shared_ptr<WaylandDisplay> w,
                                       const std::string& output);
    std::unique_ptr<InputDevices> (*input)(std::shared_ptr<WaylandDisplay> w);
};

// Cairo with fontconfig and PNG.
struct CairoBackend {
    std::unique_ptr<Graphics> (*graphics)();
};

struct PulseBackend {
    std::unique_ptr<AudioEndpoints> (*endpoints)();
};

struct AlsaBackend {
    std::unique_ptr<Mixer> (*mixer)();
};

struct XmlBackend {
    std::unique_ptr<XmlReaders> (*readers)();
};

// libsystemd: the journal, the service manager's notifications, and the sd-bus users.
struct SystemdBackend {
    std::unique_ptr<EventLog> (*eventLog)();
    std::unique_ptr<MessageBoxSink> (*messageBox)();
    std::unique_ptr<MonitorBrightness> (*backlight)();
    void (*notifyReady)();
    void (*notifyStopping)();
    void (*notifyWatchdog)();
    uint32_t (*watchdogFeedIntervalMs)();
};

// The login manager over the system bus (libsystemd's sd-bus), the power keys (libevdev) and the
// X screen saver for monitor power.
struct LogindBackend {
    // `dataDir` keeps the button actions written; `display` names the X display whose screen
    // saver tells monitor power (empty: no monitor notices).
    std::unique_ptr<Power> (*power)(const std::string& dataDir, const std::string& display);
};

// GLib and GIO: starting programs and opening documents.
struct GioBackend {
    std::unique_ptr<Launcher> (*launcher)();
    // The argument list a launch of `file` with `parameters` would run; empty, with the reason in
    // `why`, when the parameters cannot be split.
    std::optional<std::vector<std::string>> (*launchArguments)(const std::string& file,
                                                               const std::string& parameters,
                                                               std::string& why);
    // The OSD as desktop notifications on the session bus.
    std::unique_ptr<OsdSurface> (*notificationOsd)();
    // Binds global shortcuts through the desktop portal; `activated` gets each pressed id, on
    // a thread of the module's own.
    void (*portalShortcuts)(std::vector<PortalShortcut> shortcuts,
                            std::function<void(const std::string& id)> activated);
};

}  // namespace platform::linux_adapter

// Defines a module's entry point, whose table holds the given factories, and the build identifier
// the loader checks before it calls the entry point.
#define VESKOSD_BACKEND(family, Table, ...)                                         \
    extern "C" const char veskosd_backend_##family##_build_id[] = VESKOSD_BUILD_ID; \
    extern "C" const ::platform::linux_adapter::Table* veskosd_backend_##family() { \
        static const ::platform::linux_adapter::Table table{__VA_ARGS__};           \
        return &table;                                                              \
    }
