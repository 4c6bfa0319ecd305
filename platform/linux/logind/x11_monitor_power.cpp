#include "platform/linux/logind/x11_monitor_power.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>

namespace platform::linux_adapter {

namespace {

struct Watch {
    Display* dpy = nullptr;
    int eventBase = 0;
    std::atomic<bool> lost{false};
};

void onLost(Display* /*dpy*/, void* watch) {
    static_cast<Watch*>(watch)->lost = true;
}

// Blocks in poll on the connection and `wake`; reports each change of the saver's state.
void readNotices(Watch& w, int wake, bool on, const std::function<void(bool)>& report) {
    report(on);
    for (;;) {
        while (!w.lost && XPending(w.dpy) > 0) {
            XEvent ev;
            XNextEvent(w.dpy, &ev);
            if (ev.type != w.eventBase + ScreenSaverNotify) continue;
            const auto& n = reinterpret_cast<const XScreenSaverNotifyEvent&>(ev);
            if (n.state != ScreenSaverOn && n.state != ScreenSaverOff) continue;
            const bool nowOn = n.state == ScreenSaverOff;
            if (nowOn == on) continue;
            on = nowOn;
            report(on);
        }
        if (w.lost) return;
        pollfd fds[2] = {{ConnectionNumber(w.dpy), POLLIN, 0}, {wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
    }
}

}  // namespace

X11MonitorPower::X11MonitorPower(std::string display) : display_(std::move(display)) {}

X11MonitorPower::~X11MonitorPower() = default;

bool X11MonitorPower::start(std::function<void(bool on)> report) {
    if (reader_.running()) return true;
    auto w = std::make_shared<Watch>();
    w->dpy = XOpenDisplay(display_.empty() ? nullptr : display_.c_str());
    if (!w->dpy) return false;
    XSetIOErrorExitHandler(w->dpy, onLost, w.get());
    int errorBase = 0;
    const int wake = reader_.stopFd();
    if (wake < 0 || !XScreenSaverQueryExtension(w->dpy, &w->eventBase, &errorBase)) {
        XCloseDisplay(w->dpy);
        reader_.stop();
        return false;
    }
    const ::Window root = DefaultRootWindow(w->dpy);
    XScreenSaverSelectInput(w->dpy, root, ScreenSaverNotifyMask);
    bool on = true;
    if (XScreenSaverInfo* info = XScreenSaverAllocInfo()) {
        if (XScreenSaverQueryInfo(w->dpy, root, info)) on = info->state != ScreenSaverOn;
        XFree(info);
    }
    XFlush(w->dpy);
    reader_.start([w, wake, on, report = std::move(report)] {
        readNotices(*w, wake, on, report);
        // A broken connection is never handed to Xlib again, not even to close it.
        if (w->lost) {
            close(ConnectionNumber(w->dpy));
        } else {
            XCloseDisplay(w->dpy);
        }
    });
    return true;
}

}  // namespace platform::linux_adapter
