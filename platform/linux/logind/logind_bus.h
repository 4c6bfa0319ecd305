// Short, bounded exchanges with the login manager on the system bus. Each one has a connection
// of its own, so any thread may use them, and a deadline that covers the connection's set-up as
// well: no caller ever waits on a bus that does not answer for longer than it asked to.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::linux_adapter::logind {

inline constexpr const char* kService = "org.freedesktop.login1";
inline constexpr const char* kPath = "/org/freedesktop/login1";
inline constexpr const char* kManager = "org.freedesktop.login1.Manager";

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

using Clock = std::chrono::steady_clock;

// One system-bus connection driven until a deadline.
class Connection {
public:
    // Connects; false (also later, from every call) when there is no system bus.
    bool open();
    ~Connection();
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Calls `member` of `interface` on the login manager with the arguments `append` adds; the
    // reply, or null on an error reply, a lost connection or the deadline.
    Message call(const char* interface, const char* member,
                 const std::function<int(sd_bus_message*)>& append, Clock::time_point deadline);
    // Watches the login manager's signal `member` from here on; false when the bus did not
    // take the watch by the deadline.
    bool watch(const char* member, std::function<void(sd_bus_message*)> onSignal,
               Clock::time_point deadline);
    // Handles traffic until `done` says so or the deadline passes; whether `done` said so.
    bool runUntil(const std::function<bool()>& done, Clock::time_point deadline);

private:
    sd_bus* bus_ = nullptr;
    sd_bus_slot* watchSlot_ = nullptr;
    std::function<void(sd_bus_message*)> onSignal_;
};

// A call to a Manager method on a connection of its own, within `timeoutMs`.
Message callManager(const char* member, const std::function<int(sd_bus_message*)>& append,
                    int timeoutMs);
// A string-valued Manager property; empty when it cannot be read.
std::optional<std::string> managerString(const char* property, int timeoutMs);
// Whether the login manager answers at all.
bool answers(int timeoutMs);
// Takes an inhibitor lock: its descriptor (close-on-exec, ours to close), or -1.
int inhibit(const std::string& what, const std::string& why, const std::string& mode,
            int timeoutMs);

}  // namespace platform::linux_adapter::logind
