#include "platform/linux/logind/x11_watch.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace platform::linux_adapter {

namespace {

// As the shared connection does: soon at first, then less and less often.
constexpr int kReopenFirstMs = 250;
constexpr int kReopenLongestMs = 2000;

}  // namespace

std::unique_ptr<X11Watch> X11Watch::open(const std::string& display, SetUp setUp) {
    std::unique_ptr<X11Watch> w(new X11Watch(display, std::move(setUp)));
    if (!w->openNow()) return nullptr;
    return w;
}

X11Watch::~X11Watch() {
    if (c_) xcb_disconnect(c_);
}

bool X11Watch::openNow() {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(name_.empty() ? nullptr : name_.c_str(), &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
    if (it.rem == 0 || !setUp_(c, it.data->root) || xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    c_ = c;
    return true;
}

void X11Watch::run(int stopFd, const Handle& handle) {
    while (readUntilLost(stopFd, handle)) {
        xcb_disconnect(c_);
        c_ = nullptr;
        if (!reopen(stopFd)) return;
    }
}

bool X11Watch::readUntilLost(int stopFd, const Handle& handle) {
    for (;;) {
        while (xcb_generic_event_t* ev = xcb_poll_for_event(c_)) {
            handle(c_, *ev);
            std::free(ev);
        }
        if (xcb_connection_has_error(c_)) return true;
        pollfd fds[2] = {{xcb_get_file_descriptor(c_), POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (fds[1].revents) return false;
    }
}

bool X11Watch::reopen(int stopFd) {
    int pauseMs = kReopenFirstMs;
    for (;;) {
        pollfd p{stopFd, POLLIN, 0};
        const int r = poll(&p, 1, pauseMs);
        if (r > 0 || (r < 0 && errno != EINTR)) return false;
        if (openNow()) return true;
        pauseMs = std::min(pauseMs * 2, kReopenLongestMs);
    }
}

}  // namespace platform::linux_adapter
