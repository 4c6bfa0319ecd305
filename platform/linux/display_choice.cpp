#include "platform/linux/display_choice.h"

namespace platform::linux_adapter {

DisplayServer chooseDisplayServer(const DisplayFacts& f) {
    if (f.forced == "wayland") return DisplayServer::Wayland;
    if (f.forced == "x11") return DisplayServer::X11;
    if (f.forced == "none") return DisplayServer::None;
    const bool wayland = f.waylandDisplay && f.waylandAnswers;
    if (wayland && f.layerShell) return DisplayServer::Wayland;
    if (f.x11Display) return DisplayServer::X11;
    if (wayland) return DisplayServer::Notification;
    return DisplayServer::None;
}

const char* displayServerName(DisplayServer server) {
    switch (server) {
        case DisplayServer::Wayland:
            return "wayland";
        case DisplayServer::X11:
            return "x11";
        case DisplayServer::Notification:
            return "notification";
        case DisplayServer::None:
            break;
    }
    return "none";
}

}  // namespace platform::linux_adapter
