// One connection to the X server, shared by the X11 adapters. Every Xlib call is made under
// lock(); events are read by one thread and handed to the registered handlers.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::linux_adapter {

class X11Connection : public std::enable_shared_from_this<X11Connection> {
public:
    // Null, with the reason in `error`, when the display cannot be opened.
    static std::shared_ptr<X11Connection> open(const std::string& displayName, std::string& error);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    Display* display() const { return dpy_; }
    // False once the server connection broke; every adapter call is then skipped.
    bool alive() const { return !dead_; }
    Window root() const { return DefaultRootWindow(dpy_); }
    std::unique_lock<std::recursive_mutex> lock() { return std::unique_lock(m_); }
    Atom atom(const char* name);

    // Handlers run on the event thread, without the connection's lock held. Removal waits for
    // a handler that is running.
    int addEventHandler(std::function<void(const XEvent&)> handler);
    void removeEventHandler(int id);

    // Starts the event thread once.
    void startEvents();

    // X errors arrive asynchronously: trap() collects them until the next sync, which reports
    // whether any came (for grabs another client already holds, for example).
    void trapErrors();
    bool untrapErrors();

private:
    X11Connection() = default;
    static void onConnectionLost(Display* dpy, void* self);
    void eventLoop();

    Display* dpy_ = nullptr;
    std::atomic<bool> dead_{false};
    std::recursive_mutex m_;
    std::mutex handlersMutex_;
    std::vector<std::pair<int, std::function<void(const XEvent&)>>> handlers_;
    int nextHandler_ = 1;

    bool started_ = false;
};

}  // namespace platform::linux_adapter
