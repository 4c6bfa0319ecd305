// Who the control socket serves once its modes no longer keep anyone out: a daemon of an
// ordinary user, with the socket and its directory opened to all, and clients of three users.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tests/e2e/harness.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;

constexpr uid_t kDaemonUid = 65534;
constexpr uid_t kStrangerUid = 65533;
constexpr const char* kPost169 =
    "{\"op\":\"post\",\"message\":1281,\"wParam\":512,\"lParam\":169}\n";
constexpr const char* kStatus = "{\"op\":\"status\"}\n";

int connectTo(const char* path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path, sizeof(addr.sun_path) - 1);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends `request` `times` times from a child process of `uid`, one connection each; the reply
// to the last one, "setuid failed" or "connect failed". Only system calls after the fork.
std::string askAs(uid_t uid, const std::string& socketPath, const char* request, int times = 1) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        char reply[512];
        ssize_t got = 0;
        if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0) {
            [[maybe_unused]] auto n = write(out[1], "setuid failed", 13);
            _exit(1);
        }
        for (int i = 0; i < times; ++i) {
            const int fd = connectTo(socketPath.c_str());
            if (fd < 0) {
                [[maybe_unused]] auto n = write(out[1], "connect failed", 14);
                _exit(1);
            }
            [[maybe_unused]] auto sent = send(fd, request, std::strlen(request), MSG_NOSIGNAL);
            got = 0;
            ssize_t n;
            while (got < static_cast<ssize_t>(sizeof(reply)) &&
                   (n = recv(fd, reply + got, sizeof(reply) - static_cast<size_t>(got), 0)) > 0) {
                got += n;
                if (reply[got - 1] == '\n') break;
            }
            close(fd);
        }
        [[maybe_unused]] auto n = write(out[1], reply, static_cast<size_t>(got));
        _exit(0);
    }
    close(out[1]);
    std::string reply;
    char buf[512];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof(buf))) > 0) reply.append(buf, static_cast<size_t>(n));
    close(out[0]);
    waitpid(pid, nullptr, 0);
    return reply;
}

// Every refusal the log accounts for: one per line told alone, N per line that counts N more.
std::size_t refusalsLogged(const std::string& log, std::size_t& lines) {
    static const std::regex one("refused a client \\(uid ");
    static const std::regex more("refused ([0-9]+) more client\\(s\\)");
    lines = 0;
    std::size_t total = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), one); it != std::sregex_iterator();
         ++it) {
        ++lines;
        ++total;
    }
    for (auto it = std::sregex_iterator(log.begin(), log.end(), more); it != std::sregex_iterator();
         ++it) {
        ++lines;
        total += std::stoul((*it)[1]);
    }
    return total;
}

class ControlPeerE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(geteuid(), 0u) << "this test changes user: it must run as root";
        ASSERT_EQ(chown(dir.path().c_str(), kDaemonUid, kDaemonUid), 0);
        pid =
            testsupport::spawnBackground({"setpriv", "--reuid=" + std::to_string(kDaemonUid),
                                          "--regid=" + std::to_string(kDaemonUid), "--clear-groups",
                                          VESKOSD_BINARY, "--runtime-dir", dir.path(), "--data-dir",
                                          dir.path(), "--machine", "sim", "--osd", "headless"},
                                         logPath);
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(e2e::eventually([&] {
            return askAs(0, socket, kStatus).find("\"ok\":true") != std::string::npos;
        })) << log();
        // Loosened as a careless administrator might: anyone may reach the socket now.
        ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
        ASSERT_EQ(chmod(socket.c_str(), 0666), 0);
    }
    void TearDown() override {
        if (pid > 0) testsupport::killAndReap(pid);
    }
    bool running() const { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }
    std::string log() const {
        std::ifstream in(logPath);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    e2e::TempDir dir;
    e2e::TempDir logDir;  // root's, as the journal would be
    std::string socket = dir.path() + "/control.sock";
    std::string logPath = logDir.path() + "/daemon.log";
    pid_t pid = -1;
};

TEST_F(ControlPeerE2E, AnotherUserIsRefusedAndLoggedTheOwnUserAndRootAreServed) {
    const std::string refused = askAs(kStrangerUid, socket, kPost169);
    EXPECT_EQ(refused,
              "{\"error\":\"refused: this instance serves only its own user and root\","
              "\"ok\":false}\n");
    EXPECT_TRUE(e2e::eventually(
        [&] {
            std::size_t lines = 0;
            return refusalsLogged(log(), lines) == 1 && lines == 1;
        },
        3s))
        << log();
    EXPECT_NE(log().find("refused a client (uid 65533, pid "), std::string::npos) << log();

    // The shutdown code was never posted: the daemon serves its own user and root as before.
    EXPECT_NE(askAs(kDaemonUid, socket, kStatus).find("\"ok\":true"), std::string::npos);
    EXPECT_NE(askAs(0, socket, kStatus).find("\"ok\":true"), std::string::npos);
    EXPECT_TRUE(running());
}

TEST_F(ControlPeerE2E, AFloodOfRefusedClientsCostsAFewLinesAndNeverStopsTheServing) {
    constexpr std::size_t kFlood = 600;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(askAs(kStrangerUid, socket, kPost169, kFlood).find("refused"), std::string::npos);
    // Served at once right after the flood, by a daemon that never took the post.
    EXPECT_NE(askAs(kDaemonUid, socket, kStatus).find("\"ok\":true"), std::string::npos);
    std::size_t lines = 0;
    EXPECT_TRUE(e2e::eventually([&] { return refusalsLogged(log(), lines) == kFlood; }, 5s))
        << log();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // At most one line a second, and every refusal counted in one of them.
    EXPECT_LE(static_cast<double>(lines), seconds + 2) << log();
    EXPECT_LT(lines, 10u) << log();
    EXPECT_TRUE(running());
}

}  // namespace
