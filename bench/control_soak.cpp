// Soak of the control socket: the real daemon on the simulated machine takes 100,000 mixed
// posts and status requests from two clients at once, on both models, while its resident
// memory and open descriptors are sampled. Prints the figures; flat ones are the point.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/session/client.h"
#include "tests/support/process.h"

namespace {

constexpr int kRequests = 100000;
constexpr int kClients = 2;
constexpr int kSamples = 10;

bool ask(const std::string& socket, const std::string& line, bool& ok) {
    std::string error;
    auto reply = control::sendRequest(socket, line, 30000, error);
    if (!reply) return false;
    ok = reply->find("\"ok\":true") != std::string::npos;
    return true;
}

int soak(int model) {
    const std::string dir = testsupport::makeTempDir("veskosd-soak");
    const std::string socket = dir + "/control.sock";
    const pid_t pid = testsupport::spawnBackground(
        {VESKOSD_BINARY, "--machine", "sim", "--sim-model", std::to_string(model), "--osd",
         "headless", "--runtime-dir", dir},
        dir + "/daemon.log");
    if (pid < 0) return 1;
    bool ok = false;
    const auto upBy = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(ask(socket, R"({"op":"status"})", ok) && ok)) {
        if (std::chrono::steady_clock::now() > upBy) {
            std::fprintf(stderr, "model %d: the daemon did not come up\n", model);
            testsupport::killAndReap(pid);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    std::printf(
        "model %d: %d requests from %d clients (9 in 10 posts, 1 in 500 of them a "
        "volume event)\n",
        model, kRequests, kClients);
    std::printf("%10s %10s %8s %8s %8s %8s\n", "requests", "VmRSS kB", "fds", "ok", "refused",
                "failed");
    std::atomic<int> sent{0}, okCount{0}, refused{0}, failed{0};
    const auto sample = [&] {
        std::printf("%10d %10ld %8d %8d %8d %8d\n", sent.load(), testsupport::residentKb(pid),
                    testsupport::openDescriptors(pid), okCount.load(), refused.load(),
                    failed.load());
        std::fflush(stdout);
    };
    sample();
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            for (int i = c; i < kRequests; i += kClients) {
                std::string line;
                if (i % 10 == 9) {
                    line = R"({"op":"status"})";
                } else if (i % 500 == 0) {
                    line = R"({"op":"post","message":1281,"wParam":512,"lParam":32})";
                } else {
                    line = R"({"op":"post","message":0,"wParam":0,"lParam":)" + std::to_string(i) +
                           "}";
                }
                bool good = false;
                if (!ask(socket, line, good)) {
                    ++failed;
                } else {
                    ++(good ? okCount : refused);
                }
                ++sent;
            }
        });
    }
    int next = kRequests / kSamples;
    while (sent < kRequests) {
        if (sent >= next) {
            sample();
            next += kRequests / kSamples;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto& t : clients) t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Once status answers again the queue has drained.
    ask(socket, R"({"op":"status"})", ok);
    sample();
    std::printf("model %d: %.1f s, %.0f requests/s\n\n", model, seconds, kRequests / seconds);
    testsupport::killAndReap(pid);
    testsupport::removeTree(dir);
    return failed > 0 ? 1 : 0;
}

}  // namespace

int main() {
    int status = 0;
    for (int model : {1, 2}) status |= soak(model);
    return status;
}
