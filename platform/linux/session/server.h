// The control socket: a Unix stream socket, mode 0600, served by one thread that never blocks
// on a client or on a request's work. Publishing the main window starts it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "control/protocol.h"
#include "platform/window_directory.h"

namespace control {

// Takes one request line; answers through `respond`, now or later from another thread.
using RequestHandler = std::function<void(std::string_view line, Respond respond)>;

struct ServerLimits {
    // Connections held at once. When full, a new one drops the oldest that has not yet sent
    // a whole request, so silent clients cannot lock out a real one.
    std::size_t maxClients = 128;
    // To send a whole request, and to take the reply once it is written.
    std::chrono::milliseconds clientDeadline{2000};
};

class ControlServer final : public platform::WindowDirectory {
public:
    ControlServer(std::string socketPath, RequestHandler handler, ServerLimits limits = {});
    ~ControlServer() override;
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    bool publish(const std::string& title, base::Window* window) override;
    // Binds and starts serving; false (with errno's text on stderr) when the socket cannot be made.
    bool start();
    // Ends the serving thread; replies that come later are dropped.
    void stop();

    struct Replies;  // what responders hand back to the serving thread

private:
    void serve(int listenFd);

    std::string socketPath_;
    RequestHandler handler_;
    ServerLimits limits_;
    std::shared_ptr<Replies> replies_;
    std::thread thread_;
};

}  // namespace control
