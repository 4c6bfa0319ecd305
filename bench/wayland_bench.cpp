// The daemon on a private headless sway: from a volume key (`veskosd key volume-up`, a process
// start as a compositor binding would make) to the OSD frame committed to the compositor, and
// the memory of the daemon with the Wayland module loaded. Commits are read from the daemon's
// WAYLAND_DEBUG log, whose timestamps are the realtime clock's microseconds in 32 bits (its
// printing is in the measured path). Prints medians and 90th percentiles.
//
//   wayland_bench [--presses N] [--cold N]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/summary.h"
#include "tests/support/process.h"
#include "tests/support/sway.h"

namespace {

// libwayland's debug clock: realtime microseconds in 32 bits, printed as milliseconds.
constexpr double kDebugWrapMs = 4294967.296;
double debugNowMs() {
    timespec tp{};
    clock_gettime(CLOCK_REALTIME, &tp);
    const auto us = static_cast<uint32_t>(static_cast<uint64_t>(tp.tv_sec) * 1000000u +
                                          static_cast<uint64_t>(tp.tv_nsec) / 1000u);
    return static_cast<double>(us) / 1000.0;
}

// From `t0` to `t` on that clock, across a wrap.
double elapsed(double t0, double t) {
    const double d = t - t0;
    return d < -kDebugWrapMs / 2 ? d + kDebugWrapMs : d;
}

// Timestamps of the daemon's wl_surface commits that follow an attach of a buffer.
std::vector<double> frameCommits(const std::string& log) {
    std::vector<double> out;
    std::ifstream in(log);
    bool attached = false;
    for (std::string line; std::getline(in, line);) {
        if (line.size() < 2 || line[0] != '[') continue;
        if (line.find("wl_surface@") == std::string::npos) continue;
        if (line.find(".attach(wl_buffer@") != std::string::npos) attached = true;
        if (line.find(".commit()") != std::string::npos && attached) {
            out.push_back(std::strtod(line.c_str() + 1, nullptr));
            attached = false;
        }
    }
    return out;
}

// The time from `t0` to the first commit after it.
std::optional<double> firstAfter(const std::vector<double>& v, double t0) {
    for (double t : v) {
        const double d = elapsed(t0, t);
        if (d >= 0 && d < kDebugWrapMs / 2) return d;
    }
    return std::nullopt;
}

void report(const char* what, const std::vector<double>& v) {
    if (v.empty()) {
        std::printf("%-44s no samples\n", what);
        return;
    }
    const bench::Summary s = bench::summarise(v);
    std::printf("%-44s median %7.2f ms   p90 %7.2f ms   max %7.2f ms   (%zu)\n", what, s.median,
                s.p90, s.max, s.n);
}

// Resident and unique (private) memory of a process in kB.
std::pair<long, long> memoryKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    long rss = -1, uss = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::string key;
        long kb = 0;
        f >> key >> kb;
        if (key == "Rss:") rss = kb;
        if (key == "Private_Clean:" || key == "Private_Dirty:") uss += kb;
    }
    return {rss, uss};
}

bool answers(const std::string& dir) {
    int status = -1;
    testsupport::run({VESKOSD_BINARY, "--runtime-dir", dir, "status"}, &status);
    return status == 0;
}

pid_t startDaemon(const std::string& dir, const std::vector<std::string>& extra,
                  const std::vector<std::string>& env) {
    std::vector<std::string> argv{VESKOSD_BINARY, "--machine", "sim", "--runtime-dir", dir};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const pid_t pid = testsupport::spawnBackground(argv, dir + "/daemon.log", env);
    for (int i = 0; i < 500 && pid > 0 && !answers(dir); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pid;
}

// One key; the time to the first frame committed after it, or nothing within 2 s.
std::optional<double> press(const std::string& dir) {
    const double t0 = debugNowMs();
    testsupport::run({VESKOSD_BINARY, "--runtime-dir", dir, "key", "volume-up"});
    for (int i = 0; i < 200; ++i) {
        if (auto ms = firstAfter(frameCommits(dir + "/daemon.log"), t0)) return ms;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    int presses = 30, cold = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--presses") presses = std::atoi(argv[i + 1]);
        if (a == "--cold") cold = std::atoi(argv[i + 1]);
    }
    testsupport::Sway sway;
    const std::string dir = testsupport::makeTempDir("veskosd-wlbench");
    const pid_t daemon = startDaemon(dir, {}, {"WAYLAND_DEBUG=client"});
    if (daemon <= 0 || !answers(dir)) {
        std::fprintf(stderr, "wayland_bench: the daemon did not answer; see %s/daemon.log\n",
                     dir.c_str());
        return 1;
    }
    std::vector<double> coldSamples, warmSamples;
    // Cold: after a whole fade, when the surface has to be made and configured again.
    for (int i = 0; i < cold; ++i) {
        if (auto ms = press(dir)) coldSamples.push_back(*ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    }
    // Warm: while the bar is shown, a repaint of the surface there is.
    press(dir);
    for (int i = 0; i < presses; ++i) {
        if (auto ms = press(dir)) warmSamples.push_back(*ms);
    }
    const auto [rss, uss] = memoryKb(daemon);
    testsupport::killAndReap(daemon);

    const std::string plainDir = testsupport::makeTempDir("veskosd-wlbench");
    const pid_t plain = startDaemon(plainDir, {"--display-server", "none"}, {});
    testsupport::run({VESKOSD_BINARY, "--runtime-dir", plainDir, "key", "volume-up"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto [plainRss, plainUss] = memoryKb(plain);
    testsupport::killAndReap(plain);

    std::printf("\n");
    report("key -> committed OSD frame, new surface", coldSamples);
    report("key -> committed OSD frame, shown surface", warmSamples);
    std::printf("%-44s RSS %ld kB, USS %ld kB (headless: RSS %ld kB, USS %ld kB)\n",
                "memory with the Wayland module, after OSDs", rss, uss, plainRss, plainUss);
    testsupport::removeTree(dir);
    testsupport::removeTree(plainDir);
    return 0;
}
