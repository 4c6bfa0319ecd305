// The control socket's server against real sockets, with handlers standing in for the daemon.
#include "platform/linux/session/server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/linux/session/client.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;

int connectTo(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads until the server closes the connection (or `limit` passes); what it sent.
std::string readToClose(int fd, std::chrono::milliseconds limit = 5000ms) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buf[256];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left <= 0ms || poll(&p, 1, static_cast<int>(left.count())) <= 0) return got + "<open>";
        const ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n <= 0) return got;
        got.append(buf, static_cast<std::size_t>(n));
    }
}

// Answers "slow" later (the test calls it), throws for "throw", echoes everything else.
struct ControlServerTest : ::testing::Test {
    std::string dir = testsupport::makeTempDir("veskosd-server");
    std::string path = dir + "/control.sock";
    std::mutex m;
    std::vector<control::Respond> held;
    std::unique_ptr<control::ControlServer> server;

    void start(control::ServerLimits limits) {
        server = std::make_unique<control::ControlServer>(
            path,
            [this](std::string_view line, control::Respond respond) {
                if (line == "throw") throw std::runtime_error("boom");
                if (line == "slow") {
                    std::lock_guard lock(m);
                    held.push_back(std::move(respond));
                    return;
                }
                respond("echo " + std::string(line) + "\n");
            },
            limits);
        ASSERT_TRUE(server->start());
    }
    std::string ask(const std::string& line) {
        std::string error;
        auto reply = control::sendRequest(path, line, 5000, error);
        return reply ? *reply : "failed: " + error;
    }
    std::size_t heldCount() {
        std::lock_guard lock(m);
        return held.size();
    }
    bool waitForHeld(std::size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (heldCount() < n) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        return true;
    }
    ~ControlServerTest() override {
        server.reset();
        testsupport::removeTree(dir);
    }
};

TEST_F(ControlServerTest, SilentClientsCannotLockOutARealOneAndAreDroppedAtTheirDeadline) {
    start({4, 300ms});
    std::vector<int> silent;
    for (int i = 0; i < 10; ++i) {
        silent.push_back(connectTo(path));
        ASSERT_GE(silent.back(), 0);
    }
    EXPECT_EQ(ask("hello"), "echo hello");
    // The oldest were dropped for newer ones, the rest at their deadline: none is kept.
    for (int fd : silent) {
        EXPECT_EQ(readToClose(fd), "{\"error\":\"request timed out\",\"ok\":false}\n");
        close(fd);
    }
}

TEST_F(ControlServerTest, ARequestThatArrivedIsAnsweredHoweverLongItsWorkTakes) {
    start({4, 200ms});
    const int slow = connectTo(path);
    ASSERT_GE(slow, 0);
    ASSERT_EQ(send(slow, "slow\n", 5, MSG_NOSIGNAL), 5);
    ASSERT_TRUE(waitForHeld(1));
    // Others are served meanwhile; a silent client that came later is dropped at its deadline,
    // which the waiting one has then passed too.
    EXPECT_EQ(ask("fast"), "echo fast");
    const int later = connectTo(path);
    EXPECT_NE(readToClose(later), "<open>");
    close(later);

    held[0]("late\n");
    EXPECT_EQ(readToClose(slow), "late\n");
    close(slow);
}

TEST_F(ControlServerTest, AClientThatHangsUpWhileWaitingFreesItsSlot) {
    start({2, 2000ms});
    for (int i = 0; i < 2; ++i) {
        const int fd = connectTo(path);
        ASSERT_EQ(send(fd, "slow\n", 5, MSG_NOSIGNAL), 5);
        ASSERT_TRUE(waitForHeld(static_cast<std::size_t>(i) + 1));
        close(fd);
    }
    // Both slots held requests in progress; their clients are gone, so a new one gets in.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    std::string reply;
    do {
        reply = ask("again");
    } while (reply != "echo again" && std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(reply, "echo again");
    // Late replies for them go nowhere.
    held[0]("late\n");
    held[1]("late\n");
    EXPECT_EQ(ask("after"), "echo after");
}

TEST_F(ControlServerTest, AHandlerThatThrowsCostsOnlyItsRequest) {
    start({4, 2000ms});
    EXPECT_EQ(ask("throw"), R"({"error":"internal error","ok":false})");
    EXPECT_EQ(ask("next"), "echo next");
}

}  // namespace
