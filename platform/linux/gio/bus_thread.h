// The session bus as the desktop adapters use it: one private connection, driven by a thread of
// its own that runs a GLib main context, where every call is made and every reply and signal is
// taken. No other thread ever waits on the bus.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

namespace platform::linux_adapter {

class BusThread {
public:
    // Started at the first use and never ended, as the daemon's other threads.
    static BusThread& shared();

    // Runs `work` on the bus thread, after the work posted before it.
    void post(std::function<void()> work);

    // On the bus thread: the connection, made at the first call and again after it closed;
    // null, with the reason in `error`, when there is no session bus to be had.
    GDBusConnection* connection(std::string& error);

private:
    BusThread();
    GMainContext* context_;
    GDBusConnection* connection_ = nullptr;
};

}  // namespace platform::linux_adapter
