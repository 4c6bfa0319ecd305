#include "platform/linux/x11_connection.h"

#include <poll.h>

#include <atomic>
#include <cstdio>

#include "base/thread.h"

namespace platform::linux_adapter {

namespace {

std::atomic<int> trappedErrors{0};
std::atomic<bool> trapping{false};

int onXError(Display* dpy, XErrorEvent* e) {
    if (trapping) {
        ++trappedErrors;
        return 0;
    }
    char text[256];
    XGetErrorText(dpy, e->error_code, text, sizeof(text));
    std::fprintf(stderr, "veskosd: X error: %s (request %d.%d)\n", text, e->request_code,
                 e->minor_code);
    return 0;
}

// Returning lets Xlib go on to the connection's exit handler, which does not exit.
int onXIOError(Display*) {
    return 0;
}

}  // namespace

std::shared_ptr<X11Connection> X11Connection::open(const std::string& displayName,
                                                   std::string& error) {
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        XSetErrorHandler(onXError);
        XSetIOErrorHandler(onXIOError);
    });
    std::shared_ptr<X11Connection> c(new X11Connection());
    c->dpy_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!c->dpy_) {
        error = "cannot open X display " + (displayName.empty() ? "(DISPLAY)" : displayName);
        return nullptr;
    }
    XSetIOErrorExitHandler(c->dpy_, onConnectionLost, c.get());
    return c;
}

// A lost server ends the X side of the daemon, not the daemon: the display is marked dead and
// Xlib calls on it return at once from then on.
void X11Connection::onConnectionLost(Display*, void* self) {
    auto* c = static_cast<X11Connection*>(self);
    if (!c->dead_.exchange(true)) {
        std::fprintf(stderr, "veskosd: the X server connection was lost\n");
    }
}

X11Connection::~X11Connection() {
    // The event thread, once started, lives as long as the process.
    if (dpy_ && !started_) XCloseDisplay(dpy_);
}

Atom X11Connection::atom(const char* name) {
    auto l = lock();
    return XInternAtom(dpy_, name, False);
}

int X11Connection::addEventHandler(std::function<void(const XEvent&)> handler) {
    std::lock_guard l(handlersMutex_);
    handlers_.emplace_back(nextHandler_, std::move(handler));
    return nextHandler_++;
}

void X11Connection::removeEventHandler(int id) {
    std::lock_guard l(handlersMutex_);
    std::erase_if(handlers_, [id](const auto& h) { return h.first == id; });
}

void X11Connection::startEvents() {
    auto l = lock();
    if (started_) return;
    // The event thread never ends, so it keeps the connection alive.
    started_ = base::startThread("x11-events", [self = shared_from_this()] { self->eventLoop(); });
}

void X11Connection::eventLoop() {
    const int fd = ConnectionNumber(dpy_);
    while (!dead_) {
        std::vector<XEvent> events;
        {
            auto l = lock();
            while (XPending(dpy_) > 0) {
                XEvent ev;
                XNextEvent(dpy_, &ev);
                events.push_back(ev);
            }
        }
        if (events.empty()) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 250);
            continue;
        }
        std::lock_guard l(handlersMutex_);
        for (const XEvent& ev : events) {
            for (auto& h : handlers_) h.second(ev);
        }
    }
}

void X11Connection::trapErrors() {
    auto l = lock();
    XSync(dpy_, False);
    trappedErrors = 0;
    trapping = true;
}

bool X11Connection::untrapErrors() {
    auto l = lock();
    XSync(dpy_, False);
    trapping = false;
    return trappedErrors.exchange(0) > 0;
}

}  // namespace platform::linux_adapter
