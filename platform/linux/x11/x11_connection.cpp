#include "platform/linux/x11/x11_connection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "base/thread.h"

namespace platform::linux_adapter {

namespace {

// How often a lost display is tried again: soon at first, then less and less often.
constexpr int kReconnectFirstMs = 250;
constexpr int kReconnectLongestMs = 2000;

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
    c->name_ = displayName;
    c->wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (c->wakeFd_ < 0) {
        error = "cannot create the X event thread's wake-up descriptor";
        return nullptr;
    }
    if (!c->connect()) {
        error = "cannot open X display " + (displayName.empty() ? "(DISPLAY)" : displayName);
        return nullptr;
    }
    // A reconnection goes to the display first found, whatever DISPLAY says by then.
    c->name_ = DisplayString(c->dpy_);
    return c;
}

// Opens the display; on success it is the connection's from then on.
bool X11Connection::connect() {
    Display* fresh = XOpenDisplay(name_.empty() ? nullptr : name_.c_str());
    if (!fresh) return false;
    XSetIOErrorExitHandler(fresh, onConnectionLost, this);
    std::lock_guard l(m_);
    if (closed_) {
        XCloseDisplay(fresh);
        return true;
    }
    // The thread that saw the old display break has closed it already (see ~Session). Were one
    // left, it is let go without Xlib, which keeps it locked for that thread.
    if (dpy_) ::close(ConnectionNumber(dpy_));
    dpy_ = fresh;
    dead_ = false;
    return true;
}

// Runs inside the Xlib call that found the connection broken, on the thread that made it, which
// holds the connection's lock: from here on no session is handed out.
void X11Connection::onConnectionLost(Display* dpy, void* self) {
    auto* c = static_cast<X11Connection*>(self);
    if (dpy == c->dpy_ && !c->dead_.exchange(true)) {
        std::fprintf(stderr, "veskosd: the X server connection was lost\n");
    }
}

X11Connection::~X11Connection() {
    close();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

// Another thread's calls may have read events off the socket into Xlib's queue, where the
// event thread's poll cannot see them: it is woken to look, when there are some. Asking is one
// read that does not block; waking the thread after every session, as for each key the daemon
// itself types, costs a context switch on a core the X server and the GUI thread want.
//
// A display that broke is closed here, by the thread whose call found it broken (Xlib keeps the
// display locked for that thread alone), once its outermost session ends and so nothing of
// this thread still holds it: closing frees what Xlib and its extensions kept for it.
X11Connection::Session::~Session() {
    if (!owner_) return;
    const bool otherThread = dpy_ && std::this_thread::get_id() != owner_->eventThread_.load();
    const bool eventsWaiting = otherThread && !owner_->dead_ && owner_->dpy_ == dpy_ &&
                               XEventsQueued(dpy_, QueuedAfterReading) > 0;
    if (--owner_->sessionDepth_ == 0 && owner_->dead_ && owner_->dpy_) {
        XCloseDisplay(owner_->dpy_);
        owner_->dpy_ = nullptr;
    }
    if (otherThread && (eventsWaiting || owner_->dead_ || owner_->closed_)) owner_->wake();
}

void X11Connection::wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof(one));
}

void X11Connection::waitFor(int xfd, int timeoutMs) {
    pollfd p[2] = {{wakeFd_, POLLIN, 0}, {xfd, POLLIN, 0}};
    if (poll(p, xfd >= 0 ? 2 : 1, timeoutMs) > 0 && (p[0].revents & POLLIN)) {
        uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof(count));
    }
}

void X11Connection::close() {
    std::lock_guard l(m_);
    closed_ = true;
    if (wakeFd_ >= 0) wake();
    if (!dpy_) return;
    // A live one: a broken display was closed by the thread that found it broken.
    XCloseDisplay(dpy_);
    dpy_ = nullptr;
}

X11Connection::Session X11Connection::session() {
    std::unique_lock l(m_);
    ++sessionDepth_;
    Display* d = dead_ || closed_ ? nullptr : dpy_;
    return {std::move(l), d, this};
}

int X11Connection::addEventHandler(std::function<void(const XEvent&)> handler) {
    std::lock_guard l(handlersMutex_);
    handlers_.emplace_back(nextHandler_, std::move(handler));
    return nextHandler_++;
}

int X11Connection::addReconnectHandler(std::function<void()> handler) {
    std::lock_guard l(handlersMutex_);
    reconnectHandlers_.emplace_back(nextHandler_, std::move(handler));
    return nextHandler_++;
}

void X11Connection::removeEventHandler(int id) {
    std::lock_guard l(handlersMutex_);
    std::erase_if(handlers_, [id](const auto& h) { return h.first == id; });
    std::erase_if(reconnectHandlers_, [id](const auto& h) { return h.first == id; });
}

void X11Connection::startEvents() {
    auto l = std::lock_guard(m_);
    if (started_) return;
    // The event thread never ends, so it keeps the connection alive.
    started_ = base::startThread("x11-events", [self = shared_from_this()] { self->eventLoop(); });
}

// Each event's cookie data is claimed as soon as the event is taken: the next XNextEvent frees
// the data of every event not claimed yet.
void X11Connection::readEvents(std::vector<XEvent>& events) {
    auto s = session();
    if (!s) return;
    Display* d = s.display();
    while (!dead_ && XPending(d) > 0) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type == GenericEvent && !XGetEventData(d, &ev.xcookie)) ev.xcookie.data = nullptr;
        events.push_back(ev);
    }
}

void X11Connection::releaseEvents(std::vector<XEvent>& events) {
    auto s = session();
    for (XEvent& ev : events) {
        if (ev.type != GenericEvent || !ev.xcookie.data) continue;
        // The data is plain memory: once the display is gone it is freed without it.
        if (s) {
            XFreeEventData(s.display(), &ev.xcookie);
        } else {
            XFree(ev.xcookie.data);
        }
    }
    events.clear();
}

void X11Connection::reconnect() {
    int pauseMs = kReconnectFirstMs;
    while (!connect()) {
        if (closed_) return;
        waitFor(-1, pauseMs);
        pauseMs = std::min(pauseMs * 2, kReconnectLongestMs);
    }
    if (closed_) return;
    std::fprintf(stderr, "veskosd: the X server answers again\n");
    std::lock_guard l(handlersMutex_);
    for (auto& h : reconnectHandlers_) h.second();
}

void X11Connection::eventLoop() {
    eventThread_ = std::this_thread::get_id();
    std::vector<XEvent> events;
    while (!closed_) {
        if (dead_) {
            reconnect();
            continue;
        }
        int fd = -1;
        {
            auto s = session();
            if (s) fd = ConnectionNumber(s.display());
        }
        readEvents(events);
        if (events.empty()) {
            if (fd >= 0 && !dead_ && !closed_) waitFor(fd, -1);
            continue;
        }
        {
            std::lock_guard l(handlersMutex_);
            for (const XEvent& ev : events) {
                for (auto& h : handlers_) h.second(ev);
            }
        }
        releaseEvents(events);
    }
}

void X11Connection::trapErrors() {
    auto s = session();
    if (s) XSync(s.display(), False);
    trappedErrors = 0;
    trapping = true;
}

bool X11Connection::untrapErrors() {
    auto s = session();
    if (s) XSync(s.display(), False);
    trapping = false;
    // A server that went away in between counts as a refusal.
    return trappedErrors.exchange(0) > 0 || !s || dead_;
}

}  // namespace platform::linux_adapter
