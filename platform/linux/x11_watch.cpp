#include "platform/linux/x11_watch.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <utility>

namespace platform::linux_adapter {

namespace {

// As the shared connection does: soon at first, then less and less often.
constexpr int kReopenFirstMs = 250;
constexpr int kReopenLongestMs = 2000;

// Xlib's own handler exits the process; returning lets it go on to the display's exit handler.
int returnFromIOError(Display*) {
    return 0;
}

}  // namespace

std::unique_ptr<X11Watch> X11Watch::open(const std::string& display, SetUp setUp) {
    // A lost server must cost the watch its display, not the process its life, whether or not
    // the shared connection (which does the same) is open.
    static std::once_flag once;
    std::call_once(once, [] { XSetIOErrorHandler(returnFromIOError); });
    std::unique_ptr<X11Watch> w(new X11Watch(display, std::move(setUp)));
    if (!w->openNow()) return nullptr;
    return w;
}

X11Watch::~X11Watch() {
    if (dpy_) XCloseDisplay(dpy_);
}

void X11Watch::onLost(Display* /*dpy*/, void* self) {
    static_cast<X11Watch*>(self)->lost_ = true;
}

bool X11Watch::openNow() {
    Display* d = XOpenDisplay(name_.empty() ? nullptr : name_.c_str());
    if (!d) return false;
    lost_ = false;
    XSetIOErrorExitHandler(d, onLost, this);
    if (!setUp_(d)) {
        XCloseDisplay(d);
        return false;
    }
    dpy_ = d;
    return true;
}

void X11Watch::run(int stopFd, const Handle& handle) {
    while (readUntilLost(stopFd, handle)) {
        // Nothing is sent on a broken display: closing it only frees its memory.
        XCloseDisplay(dpy_);
        dpy_ = nullptr;
        if (!reopen(stopFd)) return;
    }
}

bool X11Watch::readUntilLost(int stopFd, const Handle& handle) {
    for (;;) {
        while (!lost_ && XPending(dpy_) > 0) {
            XEvent ev;
            XNextEvent(dpy_, &ev);
            handle(dpy_, ev);
        }
        if (lost_) return true;
        pollfd fds[2] = {{ConnectionNumber(dpy_), POLLIN, 0}, {stopFd, POLLIN, 0}};
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
