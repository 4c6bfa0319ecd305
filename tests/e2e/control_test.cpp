// The control socket of the running daemon under requests it must refuse, clients that say
// nothing, and more posts than its window can take.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using e2e::Daemon;
using namespace std::chrono_literals;

nlohmann::json parsed(const std::string& reply) {
    return nlohmann::json::parse(reply, nullptr, /*allow_exceptions=*/false);
}

TEST(ControlE2E, RequestsOfTheWrongShapeAreRefusedAndTheDaemonGoesOn) {
    Daemon d;
    const std::vector<std::string> requests = {
        R"({"op":"screenshot","file":7})",
        R"({"op":"screenshot","file":null})",
        R"({"op":"screenshot","file":["/tmp/x"]})",
        "null",
        "[]",
        R"([{"op":"status"}])",
        R"({"op":"sim","args":"audio"})",
        R"({"op":"sim","args":[1,2]})",
        R"({"op":"sim","args":{"0":"audio"}})",
        R"({"op":"post","message":"1281","wParam":512,"lParam":32})",
        R"({"op":"post","message":1281,"wParam":512.5,"lParam":32})",
        R"({"op":"post","message":1281,"wParam":512,"lParam":null})",
        R"({"op":"status","x":1})",
        "{\"op\":\"\xFF\xFE\"}",
        "\xC0\xAF",
    };
    for (const auto& r : requests) {
        const auto reply = parsed(d.raw(r + "\n"));
        ASSERT_TRUE(reply.is_object()) << r;
        EXPECT_EQ(reply["ok"], false) << r;
        EXPECT_TRUE(reply["error"].is_string()) << r;
        ASSERT_TRUE(d.running()) << r << "\n" << d.stderrText();
    }
    EXPECT_EQ(d.status()["hMainWnd"], "VESKOSD");
}

TEST(ControlE2E, StatusIsValidUtf8WhenTheDataDirectoryNameIsNot) {
    e2e::TempDir base;
    const std::string dataDir = base.path() + "/data-\xFF\xFE";
    Daemon d({"--machine", "sim", "--data-dir", dataDir});
    const auto reply = parsed(d.raw("{\"op\":\"status\"}\n"));
    ASSERT_TRUE(reply.is_object());
    EXPECT_EQ(reply["status"]["szBrightnessFile"],
              base.path() + "/data-\\xFF\\xFE/KL04BrightnessLevel.INI");
    EXPECT_TRUE(d.running());
}

TEST(ControlE2E, ScreenshotToAFifoFailsAtOnceAndTheDaemonStillAnswers) {
    Daemon d({"--machine", "sim", "--osd", "headless"});
    ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);
    const std::string fifo = d.runtimeDir() + "/shot.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto r = d.client({"screenshot", fifo});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("shot.fifo"), std::string::npos) << r.err;
    EXPECT_LT(r.seconds, 5.0);
    EXPECT_EQ(d.status()["bOSDShowVolume"], 1);

    // A regular file that exists is overwritten, and the picture is a PNG.
    const std::string file = d.runtimeDir() + "/shot.png";
    ASSERT_EQ(d.client({"screenshot", file}).status, 0);
    ASSERT_EQ(d.client({"screenshot", file}).status, 0);
    EXPECT_GT(std::filesystem::file_size(file), 8u);
}

// Connects and says nothing until the server drops it, again and again.
class SilentClients {
public:
    SilentClients(const std::string& path, int count) {
        for (int i = 0; i < count; ++i) {
            threads_.emplace_back([this, path] {
                while (!stop_) {
                    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                    sockaddr_un addr{};
                    addr.sun_family = AF_UNIX;
                    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
                    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
                        ++connects_;
                        timeval tv{0, 200000};  // to look at stop_ now and then
                        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
                        char buf[256];
                        for (;;) {
                            const ssize_t n = recv(fd, buf, sizeof(buf), 0);
                            if (n == 0 || (n < 0 && errno != EAGAIN) || stop_) break;
                        }
                    }
                    close(fd);
                }
            });
        }
    }
    ~SilentClients() {
        stop_ = true;
        for (auto& t : threads_) t.join();
    }
    int connects() const { return connects_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> connects_{0};
    std::vector<std::thread> threads_;
};

TEST(ControlE2E, FortySilentReconnectingClientsDoNotLockOutARealOne) {
    Daemon d;
    SilentClients silent(d.socketPath(), 40);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (silent.connects() < 40 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_GE(silent.connects(), 40);
    int answered = 0;
    for (int i = 0; i < 60; ++i) {
        const auto reply = parsed(d.raw(R"({"op":"post","message":0,"wParam":0,"lParam":0})"
                                        "\n"));
        answered += reply.is_object() && reply.value("ok", false) ? 1 : 0;
    }
    EXPECT_EQ(answered, 60);
    EXPECT_EQ(d.status()["hMainWnd"], "VESKOSD");
}

// A display controller that answers late holds the GUI thread in each volume transfer: five
// of them hold it for about 12.5 s, longer than any fixed wait for the GUI thread would be.
TEST(ControlE2E, WhileTheGuiThreadIsHeldPostsPastTheMarkAreRefusedAndStatusWaitsItsTurn) {
    Daemon d({"--machine", "sim", "--sim-model", "2"});
    ASSERT_EQ(d.client({"sim", "controller", "answer", "late", "2500"}).status, 0);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(d.client({"post", "1281", "512", "32"}).status, 0);

    int ok = 0, full = 0;
    for (int i = 0; i < 5000; ++i) {
        const auto reply = parsed(d.raw(R"({"op":"post","message":0,"wParam":0,"lParam":0})"
                                        "\n"));
        ASSERT_TRUE(reply.is_object());
        if (reply.value("ok", false)) {
            ++ok;
        } else if (reply.value("error", "") == "the main window's queue is full; try again later") {
            ++full;
        }
    }
    EXPECT_GT(full, 0);
    EXPECT_EQ(ok + full, 5000);
    EXPECT_LE(ok, 4096);
    // Behind the held transfers, status is answered once the GUI thread is back.
    EXPECT_EQ(d.status()["hMainWnd"], "VESKOSD");
    EXPECT_TRUE(d.running());
}

}  // namespace
