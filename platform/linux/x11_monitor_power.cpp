#include "platform/linux/x11_monitor_power.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <memory>
#include <utility>

#include "platform/linux/x11_watch.h"

namespace platform::linux_adapter {

namespace {

struct Saver {
    int eventBase = 0;
    bool on = true;     // as last told
    bool told = false;  // whether anything was told yet
    std::function<void(bool)> report;

    void tell(bool nowOn) {
        if (told && nowOn == on) return;
        on = nowOn;
        told = true;
        report(on);
    }
};

// On every display the watch opens: the events asked for and the present state read, which a
// new server may have changed.
bool watchSaver(Display* d, Saver& saver) {
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(d, &saver.eventBase, &errorBase)) return false;
    const ::Window root = DefaultRootWindow(d);
    XScreenSaverSelectInput(d, root, ScreenSaverNotifyMask);
    bool on = true;
    if (XScreenSaverInfo* info = XScreenSaverAllocInfo()) {
        if (XScreenSaverQueryInfo(d, root, info)) on = info->state != ScreenSaverOn;
        XFree(info);
    }
    XFlush(d);
    // The first display's state is told once the reader runs.
    if (saver.told) {
        saver.tell(on);
    } else {
        saver.on = on;
    }
    return true;
}

}  // namespace

X11MonitorPower::X11MonitorPower(std::string display) : display_(std::move(display)) {}

X11MonitorPower::~X11MonitorPower() = default;

bool X11MonitorPower::start(std::function<void(bool on)> report) {
    if (reader_.running()) return true;
    const int wake = reader_.stopFd();
    if (wake < 0) return false;
    auto saver = std::make_shared<Saver>();
    saver->report = std::move(report);
    std::shared_ptr<X11Watch> watch =
        X11Watch::open(display_, [saver](Display* d) { return watchSaver(d, *saver); });
    if (!watch) {
        reader_.stop();
        return false;
    }
    reader_.start([watch, saver, wake] {
        saver->tell(saver->on);
        watch->run(wake, [&saver](Display*, XEvent& ev) {
            if (ev.type != saver->eventBase + ScreenSaverNotify) return;
            const auto& n = reinterpret_cast<const XScreenSaverNotifyEvent&>(ev);
            if (n.state == ScreenSaverOn || n.state == ScreenSaverOff) {
                saver->tell(n.state == ScreenSaverOff);
            }
        });
    });
    return true;
}

}  // namespace platform::linux_adapter
