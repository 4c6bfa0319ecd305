#include "platform/linux/session/server.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "control/protocol.h"
#include "platform/linux/session/refusal_log.h"

namespace control {

struct ControlServer::Replies {
    std::mutex m;
    std::vector<std::pair<uint64_t, std::string>> ready;
    bool stopping = false;
    int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    Replies() = default;
    Replies(const Replies&) = delete;
    Replies& operator=(const Replies&) = delete;
    ~Replies() {
        if (wakeFd >= 0) close(wakeFd);
    }
    void wake() const {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(wakeFd, &one, sizeof(one));
    }
};

namespace {

using Clock = std::chrono::steady_clock;

std::string errnoText() {
    return std::generic_category().message(errno);
}

// Best effort and never waiting: for a client we are about to close anyway.
void tell(int fd, const std::string& reply) {
    [[maybe_unused]] const ssize_t n =
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// The modes of the socket and its directory can be loosened by anyone who owns them; the
// peer's credentials cannot be forged.
constexpr const char* kRefusal = "refused: this instance serves only its own user and root";

void writeLine(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

int openReserve() {
    return open("/dev/null", O_RDONLY | O_CLOEXEC);
}

// The state of the connections, owned by the serving thread alone.
class Connections {
public:
    Connections(int listenFd, const RequestHandler& handler, const ServerLimits& limits,
                std::shared_ptr<ControlServer::Replies> replies)
        : listenFd_(listenFd), handler_(handler), limits_(limits), replies_(std::move(replies)) {}
    Connections(const Connections&) = delete;
    Connections& operator=(const Connections&) = delete;
    ~Connections() {
        for (const Client& c : clients_) close(c.fd);
        if (reserveFd_ >= 0) close(reserveFd_);
        refusals_.finish();
    }

    // One round of waiting and serving; false once the server is stopping.
    bool step();

private:
    enum class State { Reading, Waiting, Writing, Done };
    struct Client {
        uint64_t id;
        int fd;
        State state;
        Clock::time_point deadline;  // for Reading and Writing
        std::string in;
        std::string out;
        std::size_t sent = 0;
    };

    void acceptNew();
    bool served(int fd);
    void admit(int fd);
    void shedOne();
    void readFrom(Client& c);
    void handle(Client& c, std::string_view line);
    void startWriting(Client& c, std::string reply);
    void flush(Client& c);
    void deliverReplies();
    Respond responder(uint64_t id) const;

    int listenFd_;
    const RequestHandler& handler_;
    const ServerLimits& limits_;
    std::shared_ptr<ControlServer::Replies> replies_;
    std::vector<Client> clients_;
    uint64_t nextId_ = 1;
    // Kept to be given up when descriptors run out, so that a waiting connection can be taken
    // off the backlog and refused instead of waking poll again and again.
    int reserveFd_ = openReserve();
    Clock::time_point listenPausedUntil_{};
    bool toldOutOfFiles_ = false;
    const uid_t ownUid_ = geteuid();
    RefusalLog refusals_{writeLine};
};

bool Connections::step() {
    {
        std::lock_guard lock(replies_->m);
        if (replies_->stopping) return false;
    }
    std::vector<pollfd> fds;
    fds.push_back({replies_->wakeFd, POLLIN, 0});
    const auto now = Clock::now();
    const bool listening = now >= listenPausedUntil_;
    fds.push_back({listening ? listenFd_ : -1, POLLIN, 0});
    Clock::time_point wakeAt = listening ? Clock::time_point::max() : listenPausedUntil_;
    wakeAt = std::min(wakeAt, refusals_.nextFlush());
    for (const Client& c : clients_) {
        short events = 0;
        if (c.state == State::Reading) events = POLLIN;
        if (c.state == State::Writing) events = POLLOUT;
        // A client waiting for its reply is watched only for hanging up.
        fds.push_back({c.fd, events, 0});
        if (c.state != State::Waiting) wakeAt = std::min(wakeAt, c.deadline);
    }
    int timeoutMs = -1;
    if (wakeAt != Clock::time_point::max()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
        timeoutMs = static_cast<int>(std::clamp<int64_t>(left, 0, 60000));
    }
    if (poll(fds.data(), fds.size(), timeoutMs) < 0) {
        if (errno == EINTR) return true;
        throw std::system_error(errno, std::generic_category(), "poll");
    }

    const std::size_t known = clients_.size();
    for (std::size_t i = 0; i < known; ++i) {
        Client& c = clients_[i];
        const short revents = fds[i + 2].revents;
        if (c.state == State::Reading && revents != 0)
            readFrom(c);
        else if (c.state == State::Writing && revents != 0)
            flush(c);
        else if (c.state == State::Waiting && (revents & (POLLHUP | POLLERR)))
            c.state = State::Done;
    }
    deliverReplies();
    if (fds[1].revents & POLLIN) acceptNew();
    deliverReplies();

    const auto later = Clock::now();
    refusals_.flush(later);
    for (Client& c : clients_) {
        if (c.state == State::Reading && later >= c.deadline) {
            tell(c.fd, errorReply("request timed out"));
            c.state = State::Done;
        } else if (c.state == State::Writing && later >= c.deadline) {
            c.state = State::Done;
        }
    }
    std::erase_if(clients_, [](const Client& c) {
        if (c.state != State::Done) return false;
        close(c.fd);
        return true;
    });
    return true;
}

void Connections::acceptNew() {
    // A bounded number per round, so that a flood of connections cannot starve the others.
    for (std::size_t i = 0; i < limits_.maxClients; ++i) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            toldOutOfFiles_ = false;
            if (served(fd)) admit(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EMFILE || errno == ENFILE) shedOne();
        return;
    }
}

// Refused at once, before anything is read: the reply is one send that never waits.
bool Connections::served(int fd) {
    ucred peer{};
    socklen_t length = sizeof(peer);
    const bool known =
        getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof(peer);
    if (known && (peer.uid == 0 || peer.uid == ownUid_)) return true;
    tell(fd, errorReply(kRefusal));
    close(fd);
    refusals_.refused(known ? peer.uid : static_cast<uid_t>(-1), known ? peer.pid : 0,
                      Clock::now());
    return false;
}

void Connections::shedOne() {
    if (!toldOutOfFiles_) {
        std::fprintf(stderr, "veskosd: control socket: %s; refusing clients\n",
                     errnoText().c_str());
        toldOutOfFiles_ = true;
    }
    if (reserveFd_ >= 0) {
        close(reserveFd_);
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            tell(fd, errorReply("the instance is out of file descriptors"));
            close(fd);
        }
        reserveFd_ = openReserve();
    }
    // Without a reserve the backlog cannot be emptied: look again a little later.
    if (reserveFd_ < 0) listenPausedUntil_ = Clock::now() + std::chrono::milliseconds(100);
}

void Connections::admit(int fd) {
    if (clients_.size() >= limits_.maxClients) {
        Client* oldest = nullptr;
        for (Client& c : clients_) {
            if (c.state == State::Reading && (!oldest || c.id < oldest->id)) oldest = &c;
        }
        if (!oldest) {
            // Every slot holds a request in progress.
            tell(fd, errorReply("too many clients"));
            close(fd);
            return;
        }
        tell(oldest->fd, errorReply("request timed out"));
        close(oldest->fd);
        if (oldest != &clients_.back()) *oldest = std::move(clients_.back());
        clients_.pop_back();
    }
    clients_.push_back(
        {nextId_++, fd, State::Reading, Clock::now() + limits_.clientDeadline, {}, {}, 0});
    // The request is usually there already.
    readFrom(clients_.back());
}

void Connections::readFrom(Client& c) {
    char chunk[1024];
    for (;;) {
        const ssize_t n = recv(c.fd, chunk, sizeof(chunk), 0);
        if (n > 0) {
            c.in.append(chunk, static_cast<std::size_t>(n));
            const auto newline = c.in.find('\n');
            if (newline != std::string::npos) {
                handle(c, std::string_view(c.in).substr(0, newline));
                return;
            }
            if (c.in.size() > kMaxRequestBytes) {
                startWriting(c, errorReply("request too long"));
                return;
            }
            continue;
        }
        if (n == 0) {
            // The client closed its side without a newline: what came is the request.
            if (c.in.empty()) {
                c.state = State::Done;
            } else {
                handle(c, c.in);
            }
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) c.state = State::Done;
        return;
    }
}

void Connections::handle(Client& c, std::string_view line) {
    c.state = State::Waiting;
    try {
        handler_(line, responder(c.id));
        return;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veskosd: control request failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "veskosd: control request failed\n");
    }
    startWriting(c, errorReply("internal error"));
}

void Connections::startWriting(Client& c, std::string reply) {
    c.state = State::Writing;
    c.out = std::move(reply);
    c.sent = 0;
    c.deadline = Clock::now() + limits_.clientDeadline;
    c.in.clear();
    c.in.shrink_to_fit();
    flush(c);
}

void Connections::flush(Client& c) {
    while (c.sent < c.out.size()) {
        const ssize_t n =
            send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        break;
    }
    c.state = State::Done;
}

void Connections::deliverReplies() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(replies_->wakeFd, &count, sizeof(count));
    std::vector<std::pair<uint64_t, std::string>> ready;
    {
        std::lock_guard lock(replies_->m);
        ready.swap(replies_->ready);
    }
    for (auto& [id, reply] : ready) {
        auto it = std::find_if(clients_.begin(), clients_.end(),
                               [id = id](const Client& c) { return c.id == id; });
        // A second reply, or one for a client that has hung up, goes nowhere.
        if (it != clients_.end() && it->state == State::Waiting)
            startWriting(*it, std::move(reply));
    }
}

Respond Connections::responder(uint64_t id) const {
    return [replies = replies_, id](std::string reply) {
        {
            std::lock_guard lock(replies->m);
            if (replies->stopping) return;
            replies->ready.emplace_back(id, std::move(reply));
        }
        replies->wake();
    };
}

}  // namespace

ControlServer::ControlServer(std::string socketPath, RequestHandler handler, ServerLimits limits)
    : socketPath_(std::move(socketPath)),
      handler_(std::move(handler)),
      limits_(limits),
      replies_(std::make_shared<Replies>()) {}

ControlServer::~ControlServer() {
    stop();
}

bool ControlServer::publish(const std::string&, base::Window*) {
    return start();
}

bool ControlServer::start() {
    if (thread_.joinable()) return true;
    if (replies_->wakeFd < 0) {
        std::fprintf(stderr, "veskosd: control socket: %s\n", errnoText().c_str());
        return false;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath_.size() >= sizeof(addr.sun_path)) {
        std::fprintf(stderr, "veskosd: control socket path too long: %s\n", socketPath_.c_str());
        return false;
    }
    std::memcpy(addr.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        std::fprintf(stderr, "veskosd: control socket: %s\n", errnoText().c_str());
        return false;
    }
    // We hold the instance lock, so a socket file left here belongs to a dead instance.
    unlink(socketPath_.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        chmod(socketPath_.c_str(), 0600) != 0 || listen(fd, SOMAXCONN) != 0) {
        std::fprintf(stderr, "veskosd: control socket %s: %s\n", socketPath_.c_str(),
                     errnoText().c_str());
        close(fd);
        return false;
    }
    try {
        thread_ = std::thread([this, fd] { serve(fd); });
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "veskosd: control socket thread: %s\n", e.what());
        close(fd);
        return false;
    }
    return true;
}

void ControlServer::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(replies_->m);
        replies_->stopping = true;
    }
    replies_->wake();
    thread_.join();
}

void ControlServer::serve(int listenFd) {
    pthread_setname_np(pthread_self(), "control");
    Connections connections(listenFd, handler_, limits_, replies_);
    for (;;) {
        // Nothing a client sends may end the serving: a failure costs at most its request.
        try {
            if (!connections.step()) break;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "veskosd: control socket: %s\n", e.what());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } catch (...) {
            std::fprintf(stderr, "veskosd: control socket: unexpected failure\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    close(listenFd);
}

}  // namespace control
