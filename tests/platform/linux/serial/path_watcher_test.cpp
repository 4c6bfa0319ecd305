// The device path's watcher against a real directory, as an unprivileged user would run it.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "platform/linux/serial/path_watcher.h"
#include "tests/support/process.h"

namespace {

constexpr uid_t kNobody = 65534;

// A line from the child, or "" when none comes within `ms`.
std::string lineWithin(int fd, int ms) {
    std::string line;
    char c = 0;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, ms) == 1 && read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

// In a child running as nobody: watches `path` and, at each arrival, opens it the way the
// program's open would and reports "ok" or the error.
pid_t watchAsNobody(const std::string& path, int report) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
    auto* watcher = new platform::linux_adapter::PathWatcher(path, "COM1");
    watcher->start([&path, report](const platform::DeviceNotice& n) {
        if (n.event != platform::DBT_DEVICEARRIVAL) return;
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const std::string line = fd >= 0 ? "ok\n" : std::string(strerrordesc_np(errno)) + "\n";
        if (fd >= 0) close(fd);
        [[maybe_unused]] const ssize_t w = write(report, line.data(), line.size());
    });
    [[maybe_unused]] const ssize_t w = write(report, "ready\n", 6);
    for (;;) pause();
}

TEST(PathWatcher, AnArrivalWaitsForItsPermissionsBeforeItIsTold) {
    ASSERT_EQ(geteuid(), 0u) << "needs root to act as udev and to run the watcher as nobody";
    const std::string dir = testsupport::makeTempDir("veskosd-watch");
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    const std::string path = dir + "/ttyUSB0";
    int report[2];
    ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
    const pid_t child = watchAsNobody(path, report[1]);
    close(report[1]);
    ASSERT_EQ(lineWithin(report[0], 5000), "ready");

    // The node appears closed to us, and udev opens it up a moment later.
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0);
    ASSERT_GE(fd, 0);
    close(fd);
    // A timing check: nothing may be told while the node cannot be opened.
    EXPECT_EQ(lineWithin(report[0], 300), "");
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    EXPECT_EQ(lineWithin(report[0], 5000), "ok");

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(report[0]);
    unlink(path.c_str());
    rmdir(dir.c_str());
}

// This process's device-watch threads and how often each has waited so far.
std::map<std::string, long> watchThreads() {
    std::map<std::string, long> out;
    for (const auto& t : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(t.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name != "device-watch") continue;
        out[t.path().filename()] =
            testsupport::procStatusField(t.path() / "status", "voluntary_ctxt_switches");
    }
    return out;
}

// Timing test: counts the watcher's wake-ups while names come and go beside the path.
TEST(PathWatcher, NamesBesideThePathWakeNobodyAndTheLineIsStillWatched) {
    const std::string top = testsupport::makeTempDir("veskosd-watch");
    const std::string middle = top + "/serial";
    const std::string path = middle + "/ttyUSB0";
    ASSERT_EQ(mkdir(middle.c_str(), 0755), 0);
    close(open(path.c_str(), O_CREAT | O_WRONLY, 0666));

    const auto others = watchThreads();
    std::atomic<int> removals{0};
    platform::linux_adapter::PathWatcher watcher(path, "COM1");
    watcher.start([&](const platform::DeviceNotice& n) {
        removals += n.event == platform::DBT_DEVICEREMOVECOMPLETE;
    });
    std::string tid;
    for (int i = 0; i < 500 && tid.empty(); ++i) {
        for (const auto& [t, n] : watchThreads()) {
            if (!others.contains(t)) tid = t;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(tid.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // it reaches its wait
    const long before = watchThreads()[tid];
    for (int i = 0; i < 20; ++i) {
        const std::string beside = top + "/other" + std::to_string(i);
        close(open(beside.c_str(), O_CREAT | O_WRONLY, 0666));
        unlink(beside.c_str());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // time to wake, were it woken
    EXPECT_EQ(watchThreads()[tid], before);

    ASSERT_EQ(unlink(path.c_str()), 0);
    for (int i = 0; i < 1000 && removals == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(removals, 1);
    rmdir(middle.c_str());
    rmdir(top.c_str());
}

}  // namespace
