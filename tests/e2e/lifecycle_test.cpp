// The daemon's life cycle from outside: signals while its GUI thread is held, the service
// manager's notifications, the instance lock and its directories, and records that must not grow
// for as long as it runs.
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "tests/e2e/harness.h"

extern char** environ;

namespace {

using e2e::Daemon;
using namespace std::chrono;

const char* const kLockName = "VESKOSD MediaButtons Mutex";

int connectTo(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Asks the simulated machine to hold the GUI thread and returns once it does; the reply is not
// waited for. The connection is closed by the caller.
int holdGuiThread(const std::string& socketPath, int ms, const std::function<std::string()>& err) {
    const int fd = connectTo(socketPath);
    const std::string request =
        R"({"op":"sim","args":["gui","hold",")" + std::to_string(ms) + "\"]}\n";
    if (fd < 0 || send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) return -1;
    const bool held =
        e2e::eventually([&] { return err().find("holding the GUI thread") != std::string::npos; });
    return held ? fd : -1;
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// ---- signals while the GUI thread is held -------------------------------------------------

TEST(Signals, TerminationEndsTheProcessWhileTheGuiThreadIsHeld) {
    Daemon d;
    const int held = holdGuiThread(d.socketPath(), 60000, [&] { return d.stderrText(); });
    ASSERT_GE(held, 0) << d.stderrText();
    const auto start = steady_clock::now();
    EXPECT_EQ(d.stop(SIGTERM, 8000), 0);
    // The GUI thread had 3 s to handle the session end (a timing bound, with slack).
    EXPECT_GE(steady_clock::now() - start, milliseconds(2900));
    EXPECT_NE(d.stderrText().find("not handled within 3 s"), std::string::npos) << d.stderrText();
    close(held);
}

TEST(Signals, ASecondSignalEndsTheProcessAtOnce) {
    for (int second : {SIGINT, SIGHUP}) {
        Daemon d;
        const int held = holdGuiThread(d.socketPath(), 60000, [&] { return d.stderrText(); });
        ASSERT_GE(held, 0) << d.stderrText();
        const auto start = steady_clock::now();
        d.stop(SIGTERM, 0);  // sent, not waited for
        EXPECT_EQ(d.stop(second, 8000), 0);
        // Well before the 3 s the first signal alone allows (a timing bound).
        EXPECT_LT(steady_clock::now() - start, milliseconds(2500));
        EXPECT_NE(d.stderrText().find("a second signal"), std::string::npos) << d.stderrText();
        close(held);
    }
}

// ---- the service manager's notifications ----------------------------------------------------

// A daemon started as a service manager would: NOTIFY_SOCKET is a datagram socket of the test's,
// WATCHDOG_PID the daemon's own pid (or another's, when `watchdogForUs` is false).
class ServiceDaemon {
public:
    ServiceDaemon(bool watchdogForUs, const std::string& watchdogUsec) {
        notifyPath_ = dir_.path() + "/notify";
        notify_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, notifyPath_.c_str(), sizeof(addr.sun_path) - 1);
        if (bind(notify_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
            throw std::runtime_error("cannot bind the notify socket");
        }
        runtime_ = dir_.path() + "/run";
        mkdir(runtime_.c_str(), 0700);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        env.push_back("NOTIFY_SOCKET=" + notifyPath_);
        env.push_back("WATCHDOG_USEC=" + watchdogUsec);
        const std::string pidExpr = watchdogForUs ? "$$" : std::to_string(getpid());
        // exec keeps the shell's pid, so $$ is the daemon's.
        std::vector<std::string> argv{
            "/bin/sh",
            "-c",
            "WATCHDOG_PID=" + pidExpr + " exec \"$0\" \"$@\" 2>\"" + dir_.path() + "/err\"",
            VESKOSD_BINARY,
            "--machine",
            "sim",
            "--osd",
            "headless",
            "--runtime-dir",
            runtime_};
        std::vector<char*> cargv, cenv;
        for (auto& a : argv) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        for (auto& e : env) cenv.push_back(e.data());
        cenv.push_back(nullptr);
        if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, cargv.data(), cenv.data()) != 0) {
            throw std::runtime_error("cannot start veskosd");
        }
    }
    ~ServiceDaemon() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(notify_);
    }

    // The next notification within `limit`, or "" when none came.
    std::string next(milliseconds limit) {
        timeval tv{static_cast<time_t>(limit.count() / 1000),
                   static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
        setsockopt(notify_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
        char buf[512];
        const ssize_t n = recv(notify_, buf, sizeof(buf), 0);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }
    // Waits for `what`, skipping others; false when it does not come within `limit`.
    bool await(const std::string& what, milliseconds limit = seconds(10)) {
        const auto deadline = steady_clock::now() + limit;
        while (steady_clock::now() < deadline) {
            if (next(milliseconds(100)) == what) return true;
        }
        return false;
    }
    void drain() {
        while (!next(milliseconds(1)).empty()) {
        }
    }
    std::string socketPath() const { return runtime_ + "/control.sock"; }
    std::string stderrText() const {
        std::ifstream in(dir_.path() + "/err");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> threadNames() const {
        std::vector<std::string> names;
        for (const auto& t :
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/task")) {
            std::ifstream in(t.path() / "comm");
            std::string name;
            std::getline(in, name);
            names.push_back(name);
        }
        return names;
    }
    int terminate() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    e2e::TempDir dir_;
    std::string notifyPath_, runtime_;
    int notify_ = -1;
    pid_t pid_ = -1;
};

TEST(ServiceNotify, ReadyThenAWatchdogFedByTheGuiLoopThenStopping) {
    ServiceDaemon d(true, "400000");  // fed every 200 ms
    ASSERT_EQ(d.next(seconds(10)), "READY=1") << d.stderrText();
    ASSERT_TRUE(d.await("WATCHDOG=1")) << d.stderrText();
    // A held loop feeds nothing, so a service manager would restart it (a timing window: the
    // hold lasts 2 s, we listen for 1 s of it).
    const int held = holdGuiThread(d.socketPath(), 2000, [&] { return d.stderrText(); });
    ASSERT_GE(held, 0) << d.stderrText();
    d.drain();
    const auto start = steady_clock::now();
    while (steady_clock::now() - start < milliseconds(1000)) {
        EXPECT_NE(d.next(milliseconds(100)), "WATCHDOG=1");
    }
    // Once the loop turns again, it feeds again.
    EXPECT_TRUE(d.await("WATCHDOG=1", seconds(5)));
    close(held);
    EXPECT_EQ(d.terminate(), 0);
    EXPECT_TRUE(d.await("STOPPING=1", milliseconds(500)));
}

TEST(ServiceNotify, AWatchdogForAnotherProcessStartsNoTimer) {
    ServiceDaemon d(false, "400000");
    ASSERT_EQ(d.next(seconds(10)), "READY=1") << d.stderrText();
    for (const auto& name : d.threadNames()) EXPECT_NE(name, "watchdog");
    EXPECT_EQ(d.next(milliseconds(600)), "");
}

// ---- the instance lock and its directories --------------------------------------------------

TEST(InstanceLock, ALockFileReplacedByADirectoryOrALinkEndsTheSecondStart) {
    Daemon first;
    const std::string lock = first.runtimeDir() + "/" + kLockName;
    const ino_t socket = inodeOf(first.socketPath());
    e2e::TempDir elsewhere;
    const std::string target = elsewhere.path() + "/lock";
    std::ofstream(target).put('x');
    for (const bool asLink : {false, true}) {
        ASSERT_EQ(unlink(lock.c_str()), 0);
        if (asLink) {
            ASSERT_EQ(symlink(target.c_str(), lock.c_str()), 0);
        } else {
            ASSERT_EQ(mkdir(lock.c_str(), 0700), 0);
        }
        auto second =
            e2e::runVeskosd({"--machine", "sim", "--runtime-dir", first.runtimeDir()}, 5000);
        EXPECT_EQ(second.status, 0) << second.err;
        EXPECT_NE(second.err.find("this start ends"), std::string::npos) << second.err;
        EXPECT_EQ(inodeOf(first.socketPath()), socket);
        EXPECT_EQ(first.status()["hMainWnd"], "VESKOSD");
        if (asLink) {
            unlink(lock.c_str());
        } else {
            rmdir(lock.c_str());
        }
        std::ofstream(lock).flush();
    }
}

TEST(InstanceLock, APlantedLockEndsAStartBeforeItTouchesAnything) {
    e2e::TempDir dir;
    ASSERT_EQ(mkdir((dir.path() + "/" + kLockName).c_str(), 0700), 0);
    auto r = e2e::runVeskosd({"--machine", "sim", "--runtime-dir", dir.path()}, 5000);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("this start ends"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/control.sock"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/data"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path() + "/ttyVESKOSD"));
}

TEST(InstanceLock, ASecondStartOnTheControllerModelLeavesTheFirstsLineAlone) {
    const std::vector<std::string> model2 = {"--machine", "sim",   "--sim-model",
                                             "2",         "--osd", "headless"};
    Daemon first(model2);
    const std::string link = first.runtimeDir() + "/ttyVESKOSD";
    const auto line = std::filesystem::read_symlink(link);
    std::vector<std::string> args = model2;
    args.insert(args.end(), {"--runtime-dir", first.runtimeDir()});
    auto second = e2e::runVeskosd(args, 5000);
    EXPECT_EQ(second.status, 0);
    EXPECT_NE(second.err.find("another instance holds"), std::string::npos) << second.err;
    EXPECT_EQ(std::filesystem::read_symlink(link), line);
    ASSERT_EQ(first.client({"post", "1281", "512", "32"}).status, 0);
    EXPECT_EQ(first.status()["sim"]["controller"]["received"],
              nlohmann::json::array({"02 00 00 01 7E 00 02 02 32 03"}));
}

TEST(Directories, ALinkedRuntimeDirIsRefusedWithOrWithoutATrailingSlash) {
    e2e::TempDir dir;
    const std::string real = dir.path() + "/real", link = dir.path() + "/link";
    ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    for (const std::string& given : {link, link + "/", link + "//"}) {
        auto r = e2e::runVeskosd({"--machine", "sim", "--runtime-dir", given}, 5000);
        EXPECT_EQ(r.status, 1) << given;
        EXPECT_NE(r.err.find("not a directory owned by us"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(real + "/control.sock"));
}

TEST(Directories, ADataDirOthersMayWriteToIsRefused) {
    e2e::TempDir run, data;
    ASSERT_EQ(chmod(data.path().c_str(), 0777), 0);
    auto r = e2e::runVeskosd(
        {"--machine", "sim", "--runtime-dir", run.path(), "--data-dir", data.path() + "/"}, 5000);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is open to other users (mode 0777)"), std::string::npos) << r.err;
}

// ---- records that would grow for as long as the daemon runs ---------------------------------

TEST(BoundedRecords, ASerialPathThatComesAndGoesKeepsTheLast256MessageBoxes) {
    e2e::TempDir lines;
    const std::string path = lines.path() + "/line";
    Daemon d({"--machine", "sim", "--sim-model", "2", "--osd", "headless", "--serial", path});
    nlohmann::json s;
    const bool overflowed = e2e::eventually(
        [&] {
            for (int i = 0; i < 20; ++i) {
                std::ofstream(path).put('x');
                unlink(path.c_str());
            }
            s = d.status();
            return s.value("messageBoxesDropped", 0) > 0;
        },
        seconds(30));
    ASSERT_TRUE(overflowed) << s["messageBoxes"].size();
    EXPECT_EQ(s["messageBoxes"].size(), 256u);
    EXPECT_EQ(s["messageBoxes"].back()["text"], "Can't Open UART Device");
}

TEST(BoundedRecords, TheSimulatedMachineKeepsTheLast256InjectedKeys) {
    Daemon d({"--machine", "sim", "--sim-model", "2", "--osd", "headless"});
    // Each press injects four key events (see the hot-key tests): 70 presses make 280.
    for (int i = 0; i < 70; ++i) {
        ASSERT_NE(d.raw(R"({"op":"sim","args":["key","XF86AudioLowerVolume","down"]})"
                        "\n")
                      .find("\"ok\":true"),
                  std::string::npos);
    }
    auto s = d.status()["sim"];
    EXPECT_EQ(s["injected"].size(), 256u);
    EXPECT_EQ(s["injectedDropped"], 280 - 256);
    EXPECT_EQ(s["input"]["injected"].size(), 256u);
}

}  // namespace
