#include "platform/linux/x11_power_keys.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <memory>
#include <optional>
#include <utility>

#include "platform/linux/x11_watch.h"

namespace platform::linux_adapter {

namespace {

// Looked up per press, so that a keymap changed since the start is followed.
std::optional<PowerButton> buttonOf(Display* dpy, unsigned keycode) {
    const KeySym sym = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(keycode), 0, 0);
    if (sym == XF86XK_PowerOff) return PowerButton::Power;
    if (sym == XF86XK_Sleep || sym == XF86XK_Suspend) return PowerButton::Sleep;
    return std::nullopt;
}

// On every display the watch opens; the extension's opcode may differ from one server to the
// next.
bool watchRawKeys(Display* d, int& xiOpcode) {
    int event = 0, error = 0;
    // Raw events reach every client that asked, grabs or not, only from version 2.1 on.
    int major = 2, minor = 1;
    if (!XQueryExtension(d, "XInputExtension", &xiOpcode, &event, &error) ||
        XIQueryVersion(d, &major, &minor) != Success || major * 100 + minor < 201) {
        return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask mask{XIAllMasterDevices, sizeof(bits), bits};
    XISetMask(bits, XI_RawKeyPress);
    XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
    XSync(d, False);
    return true;
}

void onKeyEvent(Display* d, XEvent& ev, int xiOpcode,
                const std::function<void(PowerButton)>& onPress) {
    if (ev.type == MappingNotify) {
        XRefreshKeyboardMapping(&ev.xmapping);
        return;
    }
    if (ev.type != GenericEvent || ev.xcookie.extension != xiOpcode) return;
    if (!XGetEventData(d, &ev.xcookie)) return;
    if (ev.xcookie.evtype == XI_RawKeyPress) {
        const auto* raw = static_cast<const XIRawEvent*>(ev.xcookie.data);
        // Held keys repeat; only the first press is a press of the button.
        if (!(raw->flags & XIKeyRepeat)) {
            if (auto b = buttonOf(d, static_cast<unsigned>(raw->detail))) onPress(*b);
        }
    }
    XFreeEventData(d, &ev.xcookie);
}

}  // namespace

X11PowerKeys::X11PowerKeys(std::string display) : display_(std::move(display)) {}

X11PowerKeys::~X11PowerKeys() {
    stop();
}

int X11PowerKeys::start(std::function<void(PowerButton)> onPress) {
    if (reader_.running()) return 1;
    const int wake = reader_.stopFd();
    if (wake < 0) return 0;
    auto xiOpcode = std::make_shared<int>(-1);
    std::shared_ptr<X11Watch> watch =
        X11Watch::open(display_, [xiOpcode](Display* d) { return watchRawKeys(d, *xiOpcode); });
    if (!watch) {
        reader_.stop();
        return 0;
    }
    reader_.start([watch, xiOpcode, wake, onPress = std::move(onPress)] {
        watch->run(wake, [&](Display* d, XEvent& ev) { onKeyEvent(d, ev, *xiOpcode, onPress); });
    });
    return 1;
}

void X11PowerKeys::stop() {
    reader_.stop();
}

}  // namespace platform::linux_adapter
