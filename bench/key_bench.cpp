// `veskosd key NAME` as a compositor's binding runs it: the whole client process, spawned until
// it has ended, beside /bin/true spawned the same way (the floor any binding pays). The daemon
// is the simulated machine, so only the client and the post are measured.
//
//   key_bench [--runs N]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/summary.h"
#include "platform/linux/session/client.h"
#include "tests/support/process.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from the spawn to the exit; negative when it did not exit with status 0.
double timedRun(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto t0 = Clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void printRow(const char* what, const std::vector<double>& v) {
    if (v.empty()) {
        std::printf("%-36s no samples\n", what);
        return;
    }
    const bench::Summary s = bench::summarise(v);
    std::printf("%-36s median %6.2f ms   p90 %6.2f ms   (%zu)\n", what, s.median, s.p90, s.n);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 100;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[++i]);
    }
    const std::string dir = testsupport::makeTempDir("veskosd-key-bench");
    const pid_t daemon = testsupport::spawnBackground(
        {VESKOSD_BINARY, "--runtime-dir", dir, "--machine", "sim"}, dir + "/daemon.log");
    std::string error;
    bool up = false;
    for (int i = 0; i < 1000 && !up; ++i) {
        up = control::sendRequest(dir + "/control.sock", R"({"op":"status"})", 1000, error)
                 .has_value();
        if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!up) {
        std::fprintf(stderr, "key_bench: the daemon did not come up: %s\n", error.c_str());
        testsupport::killAndReap(daemon);
        return 1;
    }
    std::vector<double> key, floor;
    for (int i = 0; i < runs; ++i) {
        // Alternating keeps the level away from either end.
        const double k = timedRun(
            {VESKOSD_BINARY, "--runtime-dir", dir, "key", i % 2 ? "volume-down" : "volume-up"});
        const double t = timedRun({"/bin/true"});
        if (k >= 0) key.push_back(k);
        if (t >= 0) floor.push_back(t);
    }
    testsupport::killAndReap(daemon);
    testsupport::removeTree(dir);
    printRow("`veskosd key volume-up`, whole run", key);
    printRow("`true`, spawned the same way", floor);
    return key.size() == static_cast<std::size_t>(runs) ? 0 : 1;
}
