// The control socket: a Unix stream socket, mode 0600, served by one thread that never blocks
// on a client. Publishing the main window starts it.
#pragma once

#include <functional>
#include <string>

#include "platform/window_directory.h"

namespace control {

// Turns one request line into one reply line; runs on the server thread.
using RequestHandler = std::function<std::string(std::string_view line)>;

class ControlServer final : public platform::WindowDirectory {
public:
    ControlServer(std::string socketPath, RequestHandler handler);
    bool publish(const std::string& title, base::Window* window) override;
    // Binds and starts serving; false (with errno's text on stderr) when the socket cannot be made.
    bool start();

private:
    void serve(int listenFd);

    std::string socketPath_;
    RequestHandler handler_;
    bool started_ = false;
};

}  // namespace control
