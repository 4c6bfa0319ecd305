// What each backend module hands the daemon: one table of factories per library family, reached
// through the module's one C entry point `veskosd_backend_<family>`. The program and its modules
// are built together, so the tables are plain C++; `abi` only catches a module left over from
// another build.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ports.h"

namespace platform::linux_adapter {

class X11Connection;

inline constexpr uint32_t kBackendAbi = 1;

// X11 with XInput2, XTest, RandR and DPMS: the OSD window, the keyboard and mouse, the dim
// time-out.
struct X11Backend {
    uint32_t abi;
    // Null, with the reason in `error`, when the display cannot be opened.
    std::shared_ptr<X11Connection> (*open)(const std::string& displayName, std::string& error);
    std::unique_ptr<OsdSurface> (*osd)(std::shared_ptr<X11Connection> x);
    std::unique_ptr<InputDevices> (*input)(std::shared_ptr<X11Connection> x);
    std::unique_ptr<PlatformInfo> (*info)(uint32_t osVersion, std::shared_ptr<X11Connection> x);
};

// Cairo with fontconfig and PNG.
struct CairoBackend {
    uint32_t abi;
    std::unique_ptr<Graphics> (*graphics)();
};

struct PulseBackend {
    uint32_t abi;
    std::unique_ptr<AudioEndpoints> (*endpoints)();
};

struct AlsaBackend {
    uint32_t abi;
    std::unique_ptr<Mixer> (*mixer)();
};

struct XmlBackend {
    uint32_t abi;
    std::unique_ptr<XmlReaders> (*readers)();
};

// libsystemd: the journal, the service manager's notifications, and the sd-bus users.
struct SystemdBackend {
    uint32_t abi;
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
    uint32_t abi;
    // `dataDir` keeps the button actions written; `display` names the X display whose screen
    // saver tells monitor power (empty: no monitor notices).
    std::unique_ptr<Power> (*power)(const std::string& dataDir, const std::string& display);
};

// GLib and GIO: starting programs and opening documents.
struct GioBackend {
    uint32_t abi;
    std::unique_ptr<Launcher> (*launcher)();
    // The argument list a launch of `file` with `parameters` would run; empty, with the reason in
    // `why`, when the parameters cannot be split.
    std::optional<std::vector<std::string>> (*launchArguments)(const std::string& file,
                                                               const std::string& parameters,
                                                               std::string& why);
};

}  // namespace platform::linux_adapter
