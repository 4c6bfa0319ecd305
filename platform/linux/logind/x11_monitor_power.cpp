#include "platform/linux/logind/x11_monitor_power.h"

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/linux/logind/x11_watch.h"

namespace platform::linux_adapter {

namespace {

struct Saver {
    uint8_t eventBase = 0;
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

// On every connection the watch opens: the events asked for and the present state read, which
// a new server may have changed.
bool watchSaver(xcb_connection_t* c, xcb_window_t root, Saver& saver) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_screensaver_id);
    if (!ext || !ext->present) return false;
    saver.eventBase = ext->first_event;
    xcb_screensaver_select_input(c, root, XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
    bool on = true;
    if (auto* info =
            xcb_screensaver_query_info_reply(c, xcb_screensaver_query_info(c, root), nullptr)) {
        on = info->state != XCB_SCREENSAVER_STATE_ON;
        std::free(info);
    }
    xcb_flush(c);
    // The first connection's state is told once the reader runs.
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
    std::shared_ptr<X11Watch> watch = X11Watch::open(
        display_,
        [saver](xcb_connection_t* c, xcb_window_t root) { return watchSaver(c, root, *saver); });
    if (!watch) {
        reader_.stop();
        return false;
    }
    reader_.start([watch, saver, wake] {
        saver->tell(saver->on);
        watch->run(wake, [&saver](xcb_connection_t*, const xcb_generic_event_t& ev) {
            if ((ev.response_type & 0x7F) != saver->eventBase + XCB_SCREENSAVER_NOTIFY) return;
            const auto& n = reinterpret_cast<const xcb_screensaver_notify_event_t&>(ev);
            if (n.state == XCB_SCREENSAVER_STATE_ON || n.state == XCB_SCREENSAVER_STATE_OFF) {
                saver->tell(n.state == XCB_SCREENSAVER_STATE_OFF);
            }
        });
    });
    return true;
}

}  // namespace platform::linux_adapter
