#include "control/server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

#include "base/thread.h"
#include "control/protocol.h"

namespace control {

namespace {

// A client must finish its request within this time or it is dropped.
constexpr auto kClientDeadline = std::chrono::milliseconds(2000);
constexpr std::size_t kMaxClients = 32;

struct Client {
    int fd;
    std::string buffer;
    std::chrono::steady_clock::time_point deadline;
};

void sendAll(int fd, const std::string& data) {
    std::size_t off = 0;
    while (off < data.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 1000) <= 0) return;
        const ssize_t n = send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        off += static_cast<std::size_t>(n);
    }
}

}  // namespace

ControlServer::ControlServer(std::string socketPath, RequestHandler handler)
    : socketPath_(std::move(socketPath)), handler_(std::move(handler)) {}

bool ControlServer::publish(const std::string&, base::Window*) {
    return start();
}

bool ControlServer::start() {
    if (started_) return true;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath_.size() >= sizeof(addr.sun_path)) {
        std::fprintf(stderr, "veskosd: control socket path too long: %s\n", socketPath_.c_str());
        return false;
    }
    std::memcpy(addr.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        std::fprintf(stderr, "veskosd: control socket: %s\n",
                     std::generic_category().message(errno).c_str());
        return false;
    }
    // We hold the instance lock, so a socket file left here belongs to a dead instance.
    unlink(socketPath_.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        chmod(socketPath_.c_str(), 0600) != 0 || listen(fd, 16) != 0) {
        std::fprintf(stderr, "veskosd: control socket %s: %s\n", socketPath_.c_str(),
                     std::generic_category().message(errno).c_str());
        close(fd);
        return false;
    }
    started_ = base::startThread("control", [this, fd] { serve(fd); });
    if (!started_) close(fd);
    return started_;
}

void ControlServer::serve(int listenFd) {
    std::vector<Client> clients;
    char chunk[1024];
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({listenFd, POLLIN, 0});
        for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
        int timeoutMs = -1;
        const auto now = std::chrono::steady_clock::now();
        for (const Client& c : clients) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(c.deadline - now).count();
            const int ms = left < 0 ? 0 : static_cast<int>(left) + 1;
            if (timeoutMs < 0 || ms < timeoutMs) timeoutMs = ms;
        }
        if (poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) {
            std::fprintf(stderr, "veskosd: control socket poll: %s\n",
                         std::generic_category().message(errno).c_str());
            base::sleepMs(100);
            continue;
        }

        std::vector<Client> kept;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& c = clients[i];
            bool done = false;
            if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = recv(c.fd, chunk, sizeof(chunk), 0);
                if (n > 0) c.buffer.append(chunk, static_cast<std::size_t>(n));
                const auto newline = c.buffer.find('\n');
                if (newline != std::string::npos) {
                    sendAll(c.fd, handler_(std::string_view(c.buffer).substr(0, newline)));
                    done = true;
                } else if (c.buffer.size() > kMaxRequestBytes) {
                    sendAll(c.fd, errorReply("request too long"));
                    done = true;
                } else if (n == 0) {
                    // The client closed its side without a newline: what came is the request.
                    if (!c.buffer.empty()) sendAll(c.fd, handler_(c.buffer));
                    done = true;
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    done = true;
                }
            }
            if (!done && std::chrono::steady_clock::now() >= c.deadline) {
                sendAll(c.fd, errorReply("request timed out"));
                done = true;
            }
            if (done) {
                close(c.fd);
            } else {
                kept.push_back(std::move(c));
            }
        }
        clients = std::move(kept);

        if (fds[0].revents & POLLIN) {
            for (;;) {
                const int cfd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (cfd < 0) break;
                if (clients.size() >= kMaxClients) {
                    sendAll(cfd, errorReply("too many clients"));
                    close(cfd);
                    continue;
                }
                clients.push_back({cfd, {}, std::chrono::steady_clock::now() + kClientDeadline});
            }
        }
    }
}

}  // namespace control
