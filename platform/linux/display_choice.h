// Which display server the OSD and the input adapters use, from what the session offers.
#pragma once

#include <string>

namespace platform::linux_adapter {

enum class DisplayServer {
    Wayland,       // a compositor with layer-shell
    X11,           // an X server (on a Wayland desktop without layer-shell: Xwayland)
    Notification,  // a compositor without layer-shell and no X: the OSD as a notification
    None,          // headless
};

struct DisplayFacts {
    std::string forced;           // --display-server: "wayland", "x11", "none", or empty
    bool waylandDisplay = false;  // WAYLAND_DISPLAY is set
    bool waylandAnswers = false;  // a compositor answered there
    bool layerShell = false;      // and offers zwlr_layer_shell_v1
    bool x11Display = false;      // DISPLAY is set
};

DisplayServer chooseDisplayServer(const DisplayFacts& facts);
const char* displayServerName(DisplayServer server);

}  // namespace platform::linux_adapter
