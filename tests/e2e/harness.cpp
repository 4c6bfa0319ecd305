#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/process.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

extern char** environ;

namespace e2e {

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

int settled(const std::function<int()>& value, std::chrono::milliseconds quiet,
            std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int last = value();
    auto since = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const int now = value();
        if (now != last) {
            last = now;
            since = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - since >= quiet) {
            break;
        }
    }
    return last;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// `prefix`: the command that runs veskosd, if any.
pid_t spawn(const std::vector<std::string>& args, const std::string& outPath,
            const std::string& errPath, const std::vector<std::string>& prefix = {}) {
    std::vector<std::string> argv = prefix;
    argv.emplace_back(VESKOSD_BINARY);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    cargv.reserve(argv.size() + 1);
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("spawn " + argv[0] + ": " + std::generic_category().message(rc));
    return pid;
}

int waitFor(pid_t pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (std::chrono::steady_clock::now() >= deadline) return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

TempDir::TempDir() : path_(testsupport::makeTempDir("veskosd-test")) {}

TempDir::~TempDir() {
    testsupport::removeTree(path_);
}

RunResult runVeskosd(const std::vector<std::string>& args, int timeoutMs) {
    TempDir io;
    RunResult r;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = spawn(args, io.path() + "/out", io.path() + "/err");
    r.status = waitFor(pid, timeoutMs);
    if (r.status == -2) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        r.status = -1;
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.out = readFile(io.path() + "/out");
    r.err = readFile(io.path() + "/err");
    return r;
}

Daemon::Daemon(std::vector<std::string> extraArgs) {
    std::vector<std::string> args{"--runtime-dir", dir_.path()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = spawn(args, dir_.path() + "/daemon.out", dir_.path() + "/daemon.err");
    waitUntilUp();
}

Daemon::Daemon(const std::vector<std::string>& extraArgs, const Session& session)
    : runtimeDir_(session.runtimeDir + "/veskosd") {
    const std::string id = std::to_string(session.uid);
    pid_ = spawn(extraArgs, dir_.path() + "/daemon.out", dir_.path() + "/daemon.err",
                 {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "env",
                  "XDG_RUNTIME_DIR=" + session.runtimeDir});
    waitUntilUp();
}

void Daemon::waitUntilUp() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!running()) break;
        if (raw(R"({"op":"status"})"
                "\n")
                .find("\"ok\":true") != std::string::npos)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("veskosd did not come up; its stderr:\n" + stderrText());
}

Daemon::~Daemon() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

RunResult Daemon::client(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--runtime-dir", runtimeDir_});
    return runVeskosd(args);
}

nlohmann::json Daemon::status() const {
    const std::string reply = raw(R"({"op":"status"})"
                                  "\n");
    auto j = nlohmann::json::parse(reply, nullptr, false);
    if (!j.is_object() || !j.value("ok", false)) {
        throw std::runtime_error("status failed: " + reply + "\nits stderr:\n" + stderrText());
    }
    return j["status"];
}

std::string Daemon::raw(const std::string& bytes) const {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = socketPath();
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return {};
    }
    if (!bytes.empty() && send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) {
        close(fd);
        return {};
    }
    // Our side is done: a request without a newline is then ended by the close.
    shutdown(fd, SHUT_WR);
    timeval tv{15, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    std::string reply;
    char buf[4096];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof(buf), 0)) > 0) {
        reply.append(buf, static_cast<std::size_t>(n));
        if (reply.back() == '\n') break;
    }
    close(fd);
    return reply;
}

bool Daemon::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int Daemon::stop(int signal, int timeoutMs) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    const int status = waitFor(pid_, timeoutMs);
    if (status != -2) pid_ = -1;
    return status == -2 ? -1 : status;
}

std::string Daemon::stderrText() const {
    return readFile(dir_.path() + "/daemon.err");
}

}  // namespace e2e
