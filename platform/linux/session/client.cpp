#include "platform/linux/session/client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

namespace control {

std::optional<std::string> sendRequest(const std::string& socketPath, const std::string& line,
                                       int timeoutMs, std::string& error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(addr.sun_path)) {
        error = "socket path too long: " + socketPath;
        return std::nullopt;
    }
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::generic_category().message(errno);
        return std::nullopt;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        error = "no veskosd instance answers on " + socketPath + " (" +
                std::generic_category().message(errno) + ")";
        close(fd);
        return std::nullopt;
    }
    std::string request = line;
    if (request.empty() || request.back() != '\n') request += '\n';
    std::size_t off = 0;
    while (off < request.size()) {
        const ssize_t n = send(fd, request.data() + off, request.size() - off, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = std::string("sending the request failed: ") +
                    std::generic_category().message(errno);
            close(fd);
            return std::nullopt;
        }
        off += static_cast<std::size_t>(n);
    }
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) == 0) {
            error = "the instance did not answer in time";
            close(fd);
            return std::nullopt;
        }
        const ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        reply.append(buf, static_cast<std::size_t>(n));
        if (reply.back() == '\n') break;
    }
    close(fd);
    if (reply.empty()) {
        error = "the instance closed the connection without a reply";
        return std::nullopt;
    }
    if (reply.back() == '\n') reply.pop_back();
    return reply;
}

}  // namespace control
