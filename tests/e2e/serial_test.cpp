// The display-controller model of the running daemon, with the simulated controller on a pty.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/e2e/harness.h"

namespace {

using e2e::Daemon;
using namespace std::chrono;

const std::vector<std::string> kModel2 = {"--machine", "sim",      "--sim-model", "2",
                                          "--osd",     "headless", "--verbose"};

nlohmann::json received(const Daemon& d) {
    return d.status()["sim"]["controller"]["received"];
}

TEST(SerialE2E, AVolumeEventBecomesAFrameAndItsReplyComesBack) {
    Daemon d(kModel2);
    auto s = d.status();
    EXPECT_EQ(s["bOSDModel"], 0);
    EXPECT_EQ(s["dwModelID"], 2);
    EXPECT_NE(s["hUARTDevice"], "INVALID_HANDLE_VALUE");
    EXPECT_TRUE(s["messageBoxes"].empty());
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    s = d.status();
    EXPECT_EQ(s["sim"]["controller"]["received"],
              nlohmann::json::array({"02 00 00 01 7E 00 02 02 32 03"}));
    EXPECT_EQ(s["sim"]["controller"]["volume"], 50);
    EXPECT_EQ(s["uart"]["UARTResponseBuf"], "02 00 00 02 7E 00 02 02 32 03");
}

TEST(SerialE2E, ASilentControllerHoldsTheWindowFor3SecondsAndTheLinkRecovers) {
    Daemon d(kModel2);
    ASSERT_EQ(d.client({"sim", "controller", "answer", "never"}).status, 0);
    ASSERT_EQ(d.client({"post", "1281", "512", "36"}).status, 0);
    const auto start = steady_clock::now();
    d.status();  // answered once the handler's wait has ended
    const auto held = steady_clock::now() - start;
    EXPECT_GT(held, milliseconds(2500));
    EXPECT_LT(held, milliseconds(3600));
    ASSERT_EQ(d.client({"sim", "controller", "answer", "normal"}).status, 0);
    ASSERT_EQ(d.client({"post", "1281", "512", "34"}).status, 0);
    EXPECT_TRUE(e2e::eventually([&] {
        const nlohmann::json s = d.status();
        return s["sim"]["controller"]["received"].size() == 2u &&
               s["uart"]["UARTResponseBuf"] == "02 00 00 02 7E 00 02 02 32 03";
    })) << d.status().dump();
}

TEST(SerialE2E, AButtonReportWhileIdleArrivesAsTheVolumeDownHotKey) {
    Daemon d(kModel2);
    ASSERT_EQ(d.client({"sim", "controller", "report", "0x09"}).status, 0);
    EXPECT_TRUE(e2e::eventually([&] {
        return d.stderrText().find("WM_HOTKEY wParam 259 lParam 0") != std::string::npos;
    })) << d.stderrText();
}

TEST(SerialE2E, AFrameWithAWrongMarkerIsIgnored) {
    Daemon d(kModel2);
    ASSERT_EQ(
        d.client({"sim", "controller", "send", "2", "0", "0", "2", "0x7F", "0", "2", "9", "0", "3"})
            .status,
        0);
    ASSERT_TRUE(e2e::eventually([&] {
        return d.status()["uart"]["UARTReturnCommandBuf"] != "00 00 00 00 00 00 00 00 00 00";
    }));
    EXPECT_EQ(d.status()["uart"]["UARTReturnCommandBuf"], "FF FF FF FF FF FF FF FF FF FF");
    EXPECT_EQ(d.stderrText().find("WM_HOTKEY"), std::string::npos);
}

TEST(SerialE2E, UnpluggingClosesThePortAndPluggingBackReopensIt) {
    Daemon d(kModel2);
    ASSERT_EQ(d.client({"sim", "controller", "unplug"}).status, 0);
    ASSERT_TRUE(
        e2e::eventually([&] { return d.status()["hUARTDevice"] == "INVALID_HANDLE_VALUE"; }));
    ASSERT_EQ(d.client({"sim", "controller", "plug"}).status, 0);
    ASSERT_TRUE(
        e2e::eventually([&] { return d.status()["hUARTDevice"] != "INVALID_HANDLE_VALUE"; }));
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    EXPECT_EQ(received(d).size(), 1u);
    // And again: a port opened after start-up is watched as well.
    ASSERT_EQ(d.client({"sim", "controller", "unplug"}).status, 0);
    EXPECT_TRUE(
        e2e::eventually([&] { return d.status()["hUARTDevice"] == "INVALID_HANDLE_VALUE"; }));
    EXPECT_TRUE(d.status()["messageBoxes"].empty());
}

TEST(SerialE2E, WithNoPortAtStartBothBoxesAreShownAndRequestsEndAtOnce) {
    Daemon d({"--machine", "sim", "--sim-model", "2", "--osd", "headless", "--serial",
              "/nonexistent/ttyVESKOSD"});
    auto s = d.status();
    ASSERT_EQ(s["messageBoxes"].size(), 2u);
    EXPECT_EQ(s["messageBoxes"][0]["text"], "Can't Open UART Device");
    EXPECT_EQ(s["messageBoxes"][0]["type"], 0x30);
    EXPECT_EQ(s["messageBoxes"][1]["text"], "RegisterDeviceNotification Error");
    EXPECT_EQ(s["messageBoxes"][1]["type"], 0);
    EXPECT_EQ(s["messageBoxes"][0]["caption"], "veskosd");
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    const auto start = steady_clock::now();
    EXPECT_TRUE(d.status()["sim"]["controller"]["received"].empty());
    EXPECT_LT(steady_clock::now() - start, milliseconds(1000));
}

TEST(SerialE2E, TheOsdModelOpensNoPort) {
    Daemon d({"--machine", "sim", "--sim-model", "3", "--osd", "headless"});
    auto s = d.status();
    EXPECT_EQ(s["bOSDModel"], 1);
    EXPECT_EQ(s["dwModelID"], 3);
    EXPECT_EQ(s["hUARTDevice"], "INVALID_HANDLE_VALUE");
    EXPECT_TRUE(s["messageBoxes"].empty());
}

// The far end of a serial line: a pty of the test's own, reached by the daemon through a link.
class FarEnd {
public:
    FarEnd() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
            ptsname_r(master_, name, sizeof(name)) != 0) {
            ADD_FAILURE() << "no pty";
            return;
        }
        slave_ = name;
    }
    ~FarEnd() { hangUp(); }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    // In one step, as udev and socat make their links.
    void linkAt(const std::string& link) const {
        const std::string fresh = link + ".new";
        ASSERT_EQ(symlink(slave_.c_str(), fresh.c_str()), 0);
        ASSERT_EQ(rename(fresh.c_str(), link.c_str()), 0);
    }
    void hangUp() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }
    void sendFrame(uint8_t code, uint8_t value) const {
        const uint8_t frame[] = {0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, code, value, 0x03};
        ASSERT_EQ(write(master_, frame, sizeof(frame)), static_cast<ssize_t>(sizeof(frame)));
    }
    // Whether any process holds the line open; nothing in the test does.
    bool heldOpen() const {
        DIR* proc = opendir("/proc");
        bool held = false;
        while (dirent* p = proc ? readdir(proc) : nullptr) {
            const std::string fds = std::string("/proc/") + p->d_name + "/fd";
            DIR* dir = opendir(fds.c_str());
            while (dirent* f = dir ? readdir(dir) : nullptr) {
                char target[256] = {};
                const std::string fd = fds + "/" + f->d_name;
                if (readlink(fd.c_str(), target, sizeof(target) - 1) > 0 && slave_ == target) {
                    held = true;
                }
            }
            if (dir) closedir(dir);
        }
        if (proc) closedir(proc);
        return held;
    }

private:
    int master_ = -1;
    std::string slave_;
};

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The daemon is the child of this process started with --machine.
pid_t daemonPid() {
    DIR* proc = opendir("/proc");
    pid_t found = -1;
    while (dirent* p = proc ? readdir(proc) : nullptr) {
        const std::string dir = std::string("/proc/") + p->d_name;
        const std::string stat = readText(dir + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        int ppid = 0;
        char state = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) != 2) continue;
        if (ppid == getpid() && readText(dir + "/cmdline").find("--machine") != std::string::npos) {
            found = static_cast<pid_t>(std::stol(p->d_name));
        }
    }
    if (proc) closedir(proc);
    return found;
}

// How often the daemon's receive thread has been switched out so far.
long receiveThreadSwitches(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    long switches = -1;
    while (dirent* t = dir ? readdir(dir) : nullptr) {
        const std::string task = tasks + "/" + t->d_name;
        if (readText(task + "/comm") != "ThreadUR\n") continue;
        std::istringstream status(readText(task + "/status"));
        switches = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                switches += std::stol(line.substr(line.find(':') + 1));
            }
        }
    }
    if (dir) closedir(dir);
    return switches;
}

std::vector<std::string> onLine(const std::string& link) {
    auto args = kModel2;
    args.insert(args.end(), {"--serial", link});
    return args;
}

bool portOpen(const Daemon& d) {
    return d.status()["hUARTDevice"] != "INVALID_HANDLE_VALUE";
}

// A frame from `far` reaches the daemon's receive buffer. Not a button report: that would make
// the daemon send a frame and wait for an answer this far end never gives.
void expectReadsFrom(const Daemon& d, const FarEnd& far, uint8_t mark) {
    far.sendFrame(0x0B, mark);
    char hex[40];
    std::snprintf(hex, sizeof(hex), "02 00 00 02 7E 00 02 0B %02X 03", mark);
    EXPECT_TRUE(e2e::eventually([&] { return d.status()["uart"]["UARTReturnCommandBuf"] == hex; }))
        << d.status()["uart"].dump();
}

TEST(SerialPathE2E, TheLinesDirectoriesRemovedAndMadeAgainBringTheLineBack) {
    e2e::TempDir top;
    const std::string serial = top.path() + "/serial", byId = serial + "/by-id";
    const std::string link = byId + "/usb-controller";
    ASSERT_EQ(mkdir(serial.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(byId.c_str(), 0755), 0);
    FarEnd first;
    first.linkAt(link);
    Daemon d(onLine(link));
    ASSERT_TRUE(portOpen(d));
    expectReadsFrom(d, first, 1);

    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(rmdir(byId.c_str()), 0);
    ASSERT_EQ(rmdir(serial.c_str()), 0);
    ASSERT_TRUE(e2e::eventually([&] { return !portOpen(d); }));
    EXPECT_TRUE(e2e::eventually([&] { return !first.heldOpen(); }));

    ASSERT_EQ(mkdir(serial.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(byId.c_str(), 0755), 0);
    FarEnd second;
    second.linkAt(link);
    ASSERT_TRUE(e2e::eventually([&] { return portOpen(d) && second.heldOpen(); }));
    expectReadsFrom(d, second, 2);
    EXPECT_TRUE(d.status()["messageBoxes"].empty());
}

TEST(SerialPathE2E, ANewLineRenamedOverTheLinkReplacesTheOldOne) {
    e2e::TempDir top;
    const std::string link = top.path() + "/ttyController";
    FarEnd first;
    first.linkAt(link);
    Daemon d(onLine(link));
    ASSERT_TRUE(portOpen(d));
    ASSERT_TRUE(first.heldOpen());

    FarEnd second;
    second.linkAt(link);
    ASSERT_TRUE(e2e::eventually([&] { return !first.heldOpen() && second.heldOpen(); }));
    ASSERT_TRUE(portOpen(d));
    expectReadsFrom(d, second, 2);
}

TEST(SerialPathE2E, AHangUpIsARemovalAndTheReaderThenSleeps) {
    e2e::TempDir top;
    const std::string link = top.path() + "/ttyController";
    FarEnd first;
    first.linkAt(link);
    Daemon d(onLine(link));
    ASSERT_TRUE(portOpen(d));
    const pid_t pid = daemonPid();
    ASSERT_GT(pid, 0);

    first.hangUp();
    ASSERT_TRUE(e2e::eventually([&] { return !portOpen(d); }));
    struct stat st {};
    EXPECT_EQ(lstat(link.c_str(), &st), 0);  // the path stayed
    // A timing check: a second with no line, in which the receive thread should not run.
    const long before = receiveThreadSwitches(pid);
    ASSERT_GE(before, 0);
    std::this_thread::sleep_for(seconds(1));
    EXPECT_LE(receiveThreadSwitches(pid) - before, 2);

    FarEnd second;
    second.linkAt(link);
    ASSERT_TRUE(e2e::eventually([&] { return portOpen(d) && second.heldOpen(); }));
    expectReadsFrom(d, second, 2);
}

}  // namespace
