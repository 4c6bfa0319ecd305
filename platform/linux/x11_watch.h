// A reader thread's own X connection that outlives its server: after a loss the display is
// closed, which frees what Xlib kept for it, and opened again with a growing pause until a
// server answers there or the thread is asked to stop.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace platform::linux_adapter {

class X11Watch {
public:
    // Readies a display just opened (selects events, reads the present state); false when its
    // server lacks what the watch needs.
    using SetUp = std::function<bool(Display*)>;
    using Handle = std::function<void(Display*, XEvent&)>;

    // `display` as XOpenDisplay takes it; null when it cannot be opened or set up now.
    static std::unique_ptr<X11Watch> open(const std::string& display, SetUp setUp);
    ~X11Watch();
    X11Watch(const X11Watch&) = delete;
    X11Watch& operator=(const X11Watch&) = delete;

    // Hands each event over until `stopFd` is readable, across as many servers as come and go.
    // Runs on one thread, which then owns the display.
    void run(int stopFd, const Handle& handle);

private:
    X11Watch(std::string name, SetUp setUp) : name_(std::move(name)), setUp_(std::move(setUp)) {}
    static void onLost(Display* dpy, void* self);
    bool openNow();
    // False once asked to stop; true when the server went away.
    bool readUntilLost(int stopFd, const Handle& handle);
    // False once asked to stop; true with a new display.
    bool reopen(int stopFd);

    std::string name_;
    SetUp setUp_;
    Display* dpy_ = nullptr;
    std::atomic<bool> lost_{false};
};

}  // namespace platform::linux_adapter
