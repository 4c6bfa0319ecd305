// A reader thread's own X connection that outlives its server: after a loss the connection is
// closed and opened again with a growing pause until a server answers there or the thread is
// asked to stop. Plain XCB: unlike a display of Xlib's, a connection here shares no state with
// the process's other displays, so closing one after its server went away touches nothing
// another thread uses.
#pragma once

#include <xcb/xcb.h>

#include <functional>
#include <memory>
#include <string>

namespace platform::linux_adapter {

class X11Watch {
public:
    // Readies a connection just opened (selects events, reads the present state); false when
    // its server lacks what the watch needs.
    using SetUp = std::function<bool(xcb_connection_t*, xcb_window_t root)>;
    using Handle = std::function<void(xcb_connection_t*, const xcb_generic_event_t&)>;

    // `display` as XOpenDisplay takes it; null when it cannot be opened or set up now.
    static std::unique_ptr<X11Watch> open(const std::string& display, SetUp setUp);
    ~X11Watch();
    X11Watch(const X11Watch&) = delete;
    X11Watch& operator=(const X11Watch&) = delete;

    // Hands each event over until `stopFd` is readable, across as many servers as come and go.
    // Runs on one thread, which then owns the connection.
    void run(int stopFd, const Handle& handle);

private:
    X11Watch(std::string name, SetUp setUp) : name_(std::move(name)), setUp_(std::move(setUp)) {}
    bool openNow();
    // False once asked to stop; true when the server went away.
    bool readUntilLost(int stopFd, const Handle& handle);
    // False once asked to stop; true with a new connection.
    bool reopen(int stopFd);

    std::string name_;
    SetUp setUp_;
    xcb_connection_t* c_ = nullptr;
};

}  // namespace platform::linux_adapter
