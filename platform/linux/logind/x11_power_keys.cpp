#include "platform/linux/logind/x11_power_keys.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>

namespace platform::linux_adapter {

namespace {

struct Watch {
    Display* dpy = nullptr;
    int xiOpcode = -1;
    std::atomic<bool> lost{false};
};

void onLost(Display* /*dpy*/, void* watch) {
    static_cast<Watch*>(watch)->lost = true;
}

// Looked up per press, so that a keymap changed since the start is followed.
std::optional<PowerButton> buttonOf(Display* dpy, unsigned keycode) {
    const KeySym sym = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(keycode), 0, 0);
    if (sym == XF86XK_PowerOff) return PowerButton::Power;
    if (sym == XF86XK_Sleep || sym == XF86XK_Suspend) return PowerButton::Sleep;
    return std::nullopt;
}

void readKeys(Watch& w, int wake, const std::function<void(PowerButton)>& onPress) {
    for (;;) {
        while (!w.lost && XPending(w.dpy) > 0) {
            XEvent ev;
            XNextEvent(w.dpy, &ev);
            if (ev.type == MappingNotify) {
                XRefreshKeyboardMapping(&ev.xmapping);
                continue;
            }
            if (ev.type != GenericEvent || ev.xcookie.extension != w.xiOpcode) continue;
            if (!XGetEventData(w.dpy, &ev.xcookie)) continue;
            if (ev.xcookie.evtype == XI_RawKeyPress) {
                const auto* raw = static_cast<const XIRawEvent*>(ev.xcookie.data);
                // Held keys repeat; only the first press is a press of the button.
                if (!(raw->flags & XIKeyRepeat)) {
                    if (auto b = buttonOf(w.dpy, static_cast<unsigned>(raw->detail))) onPress(*b);
                }
            }
            XFreeEventData(w.dpy, &ev.xcookie);
        }
        if (w.lost) return;
        pollfd fds[2] = {{ConnectionNumber(w.dpy), POLLIN, 0}, {wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
    }
}

}  // namespace

X11PowerKeys::X11PowerKeys(std::string display) : display_(std::move(display)) {}

X11PowerKeys::~X11PowerKeys() {
    stop();
}

int X11PowerKeys::start(std::function<void(PowerButton)> onPress) {
    if (reader_.running()) return 1;
    auto w = std::make_shared<Watch>();
    w->dpy = XOpenDisplay(display_.empty() ? nullptr : display_.c_str());
    if (!w->dpy) return 0;
    XSetIOErrorExitHandler(w->dpy, onLost, w.get());
    int event = 0, error = 0;
    // Raw events reach every client that asked, grabs or not, only from version 2.1 on.
    int major = 2, minor = 1;
    const int wake = reader_.stopFd();
    if (wake < 0 || !XQueryExtension(w->dpy, "XInputExtension", &w->xiOpcode, &event, &error) ||
        XIQueryVersion(w->dpy, &major, &minor) != Success || major * 100 + minor < 201) {
        XCloseDisplay(w->dpy);
        reader_.stop();
        return 0;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask mask{XIAllMasterDevices, sizeof(bits), bits};
    XISetMask(bits, XI_RawKeyPress);
    XISelectEvents(w->dpy, DefaultRootWindow(w->dpy), &mask, 1);
    XSync(w->dpy, False);
    reader_.start([w, wake, onPress = std::move(onPress)] {
        readKeys(*w, wake, onPress);
        // A broken connection is never handed to Xlib again, not even to close it.
        if (w->lost) {
            close(ConnectionNumber(w->dpy));
        } else {
            XCloseDisplay(w->dpy);
        }
    });
    return 1;
}

void X11PowerKeys::stop() {
    reader_.stop();
}

}  // namespace platform::linux_adapter
