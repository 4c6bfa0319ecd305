// One connection to the X server, shared by the X11 adapters. Every Xlib call is made inside a
// session(), which holds the connection's lock and is empty once the server has gone: a display
// whose connection broke is only closed, by the thread that found it broken, which frees what
// Xlib and its extensions kept for it.
// One thread reads the events, hands them to the registered handlers and, after a loss, opens
// the same display again once a server answers there. While nothing happens it
// sleeps: events another thread's call read off the socket are announced by that session's end.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace platform::linux_adapter {

class X11Connection : public std::enable_shared_from_this<X11Connection> {
public:
    // The lock, and the display while the server is there.
    class Session {
    public:
        Session(Session&& o) noexcept
            : lock_(std::move(o.lock_)), dpy_(o.dpy_), owner_(std::exchange(o.owner_, nullptr)) {}
        Session& operator=(Session&&) = delete;
        ~Session();
        explicit operator bool() const { return dpy_ != nullptr; }
        Display* display() const { return dpy_; }
        ::Window root() const { return DefaultRootWindow(dpy_); }

    private:
        friend class X11Connection;
        Session(std::unique_lock<std::recursive_mutex> l, Display* d, X11Connection* owner)
            : lock_(std::move(l)), dpy_(d), owner_(owner) {}
        std::unique_lock<std::recursive_mutex> lock_;
        Display* dpy_;
        X11Connection* owner_;
    };

    // Null, with the reason in `error`, when the display cannot be opened.
    static std::shared_ptr<X11Connection> open(const std::string& displayName, std::string& error);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    Session session();
    // False from the loss of the server until a new one answers.
    bool alive() const { return !dead_; }
    // Ends the connection for good: from here on every call fails as without a server, and
    // the event thread ends. For connections that do not live as long as the process.
    void close();

    // Handlers run on the event thread, without the connection's lock held. A GenericEvent's
    // cookie data has been claimed already (null when it could not be). Removal waits for a
    // handler that is running.
    int addEventHandler(std::function<void(const XEvent&)> handler);
    // Called on the event thread, without the lock, after a new server has been connected: the
    // adapters set up again what the old one held (windows, grabs, selections).
    int addReconnectHandler(std::function<void()> handler);
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
    bool connect();
    void eventLoop();
    void readEvents(std::vector<XEvent>& events);
    void releaseEvents(std::vector<XEvent>& events);
    void reconnect();
    // Wakes the event thread, or the reconnection's back-off.
    void wake();
    // Until the X socket or the wake-up descriptor is readable, or `timeoutMs` (-1: no limit).
    void waitFor(int xfd, int timeoutMs);

    std::string name_;
    Display* dpy_ = nullptr;
    std::atomic<bool> dead_{false};
    std::atomic<bool> closed_{false};
    std::recursive_mutex m_;
    int sessionDepth_ = 0;  // sessions open on the thread that holds m_
    std::mutex handlersMutex_;
    std::vector<std::pair<int, std::function<void(const XEvent&)>>> handlers_;
    std::vector<std::pair<int, std::function<void()>>> reconnectHandlers_;
    int nextHandler_ = 1;

    bool started_ = false;
    int wakeFd_ = -1;
    std::atomic<std::thread::id> eventThread_{};
};

}  // namespace platform::linux_adapter
