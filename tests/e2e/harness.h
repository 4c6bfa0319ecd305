// Runs the real veskosd binary and talks to it through its control socket.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace e2e {

// Asks `condition` every 10 ms until it holds or `limit` has passed; its last answer.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10));
// Reads `value` every 10 ms until it has stayed the same for `quiet` (or `limit` has passed), and
// gives that value: for a process that is still changing something on its own.
int settled(const std::function<int()>& value, std::chrono::milliseconds quiet,
            std::chrono::milliseconds limit = std::chrono::seconds(10));
// How often `what` occurs in `text`.
std::size_t occurrences(const std::string& text, const std::string& what);

// A private directory removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct RunResult {
    int status = -1;  // exit status, or -1 when killed or timed out
    std::string out;
    std::string err;
    double seconds = 0;
};

// Runs veskosd with `args` to the end (at most `timeoutMs`).
RunResult runVeskosd(const std::vector<std::string>& args, int timeoutMs = 20000);

// A desktop session of another user than root: the daemon runs as `uid` with `runtimeDir` (that
// user's, 0700) as XDG_RUNTIME_DIR, and so in its directory there, as it would in that session.
struct Session {
    uid_t uid = 0;
    std::string runtimeDir;
};

class Daemon {
public:
    // Starts `veskosd --runtime-dir DIR extraArgs...` and waits until it answers status.
    explicit Daemon(std::vector<std::string> extraArgs = {"--machine", "sim"});
    // Starts `veskosd extraArgs...` in `session`.
    Daemon(const std::vector<std::string>& extraArgs, const Session& session);
    ~Daemon();
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    const std::string& runtimeDir() const { return runtimeDir_; }
    std::string socketPath() const { return runtimeDir_ + "/control.sock"; }
    // Runs a client command against this instance.
    RunResult client(std::vector<std::string> args) const;
    nlohmann::json status() const;
    // Sends raw bytes on a fresh connection and returns whatever reply comes.
    std::string raw(const std::string& bytes) const;
    bool running();
    // Sends a signal and waits for the exit status (-1 if it does not end in time).
    int stop(int signal, int timeoutMs = 5000);
    std::string stderrText() const;

private:
    void waitUntilUp();

    TempDir dir_;
    std::string runtimeDir_ = dir_.path();
    pid_t pid_ = -1;
};

}  // namespace e2e
