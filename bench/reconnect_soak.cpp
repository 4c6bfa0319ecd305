// Soak of the X server going away and coming back: the real daemon on the real machine under a
// private Xvfb that is killed and started again on the same display, time after time. After
// each restart it waits until the daemon has all its X connections on the new server again
// (its clients there, found by process through X-Resource) and its OSD window, then samples
// the daemon's resident memory and descriptors. Prints the figures and the growth over the
// restarts after the warm-up; exits 1 when that growth passes the limit.
//
//   reconnect_soak [--restarts N] [--warmup N] [--limit-kb KB] [--binary PATH]
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/session/client.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the server shows of the daemon: how many of its clients it has, and whether the OSD
// window is there.
struct Seen {
    int clients = 0;
    bool window = false;
};

bool hasWindowNamed(Display* d, const char* name) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    bool found = false;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) {
        for (unsigned i = 0; i < n && !found; ++i) {
            char* wname = nullptr;
            if (XFetchName(d, children[i], &wname) && wname) {
                found = std::strcmp(wname, name) == 0;
                XFree(wname);
            }
        }
        if (children) XFree(children);
    }
    return found;
}

Seen seenOnServer(pid_t pid) {
    Seen seen;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return seen;
    XResClientIdSpec wanted{0, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* ids = nullptr;
    if (XResQueryClientIds(d, 1, &wanted, &count, &ids) == Success) {
        for (long i = 0; i < count; ++i) seen.clients += XResGetClientPid(&ids[i]) == pid;
        XResClientIdsDestroy(count, ids);
    }
    seen.window = hasWindowNamed(d, "VESKOSD");
    XCloseDisplay(d);
    return seen;
}

bool statusAnswers(const std::string& socket) {
    std::string error;
    const auto reply = control::sendRequest(socket, R"({"op":"status"})", 5000, error);
    return reply && reply->find("\"ok\":true") != std::string::npos;
}

// Polls until the daemon has `clients` X clients and its window on the server; false after 15 s.
bool waitForDaemon(pid_t pid, int clients, Seen& seen) {
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
        seen = seenOnServer(pid);
        if (seen.clients >= clients && seen.window) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

struct Options {
    int restarts = 50;
    int warmup = 5;
    long limitKb = 300;
    std::string binary = VESKOSD_BINARY;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--restarts") {
            o.restarts = std::atoi(argv[i + 1]);
        } else if (flag == "--warmup") {
            o.warmup = std::atoi(argv[i + 1]);
        } else if (flag == "--limit-kb") {
            o.limitKb = std::atol(argv[i + 1]);
        } else if (flag == "--binary") {
            o.binary = argv[i + 1];
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && o.restarts > 0 && o.warmup >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: reconnect_soak [--restarts N] [--warmup N] [--limit-kb KB] "
                     "[--binary PATH]\n");
        return 2;
    }
    // Restarted on its number again and again: the number stays reserved for it meanwhile.
    std::unique_ptr<testsupport::Xvfb> server;
    try {
        server = std::make_unique<testsupport::Xvfb>();
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "reconnect_soak: no X server could be started: %s\n", e.what());
        return 1;
    }
    testsupport::Xvfb& xvfb = *server;
    const std::string dir = testsupport::makeTempDir("veskosd-reconnect");
    const std::string socket = dir + "/control.sock";
    const pid_t pid =
        testsupport::spawnBackground({o.binary, "--machine", "linux", "--serial",
                                      "/nonexistent/tty", "--runtime-dir", dir, "--data-dir", dir},
                                     dir + "/daemon.log");
    const auto fail = [&](const char* what) {
        std::fprintf(stderr, "reconnect_soak: %s; the daemon's log:\n%s", what,
                     testsupport::run({"cat", dir + "/daemon.log"}).c_str());
        if (pid > 0) testsupport::killAndReap(pid);
        testsupport::removeTree(dir);
        return 1;
    };
    if (pid < 0) return fail("the daemon did not start");
    const auto upBy = Clock::now() + std::chrono::seconds(10);
    while (!statusAnswers(socket)) {
        if (Clock::now() > upBy) return fail("the daemon did not come up");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Seen seen;
    if (!waitForDaemon(pid, 1, seen)) return fail("the daemon has no X client or OSD window");
    const int clients = seen.clients;
    std::printf("%d X restarts after %d of warm-up; the daemon keeps %d X connection(s)\n",
                o.restarts, o.warmup, clients);
    std::printf("%8s %12s %10s %6s %8s\n", "restart", "back in ms", "VmRSS kB", "fds", "clients");

    std::vector<long> measured;  // after each restart past the warm-up
    for (int i = 1; i <= o.warmup + o.restarts; ++i) {
        xvfb.restart();
        const auto restarted = Clock::now();
        // Every connection the daemon had comes back, and the window with them.
        if (!waitForDaemon(pid, clients, seen)) {
            std::fprintf(stderr, "restart %d: the daemon has %d of its %d X clients, window %s\n",
                         i, seen.clients, clients, seen.window ? "there" : "missing");
            return fail("the daemon did not take up the new X server");
        }
        const double backMs =
            std::chrono::duration<double, std::milli>(Clock::now() - restarted).count();
        // A round trip through the GUI thread, which hears of the new screen too.
        if (!statusAnswers(socket)) return fail("the daemon stopped answering");
        const long kb = testsupport::residentKb(pid);
        std::printf("%8d %12.0f %10ld %6d %8d%s\n", i, backMs, kb,
                    testsupport::openDescriptors(pid), seen.clients,
                    i <= o.warmup ? "  (warm-up)" : "");
        std::fflush(stdout);
        if (i > o.warmup) measured.push_back(kb);
    }
    // Medians of the first and the last five samples: the allocator's own ups and downs of a
    // few pages are not growth.
    const auto medianOf = [](std::vector<long> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const auto k = static_cast<std::ptrdiff_t>(std::min<std::size_t>(5, measured.size()));
    const long growth = medianOf({measured.end() - k, measured.end()}) -
                        medianOf({measured.begin(), measured.begin() + k});
    std::printf(
        "VmRSS growth over %d restarts after the warm-up: %ld kB (%.1f kB a restart; "
        "medians of the first and the last %td samples); limit %ld kB\n",
        o.restarts, growth, static_cast<double>(growth) / o.restarts, k, o.limitKb);
    testsupport::killAndReap(pid);
    testsupport::removeTree(dir);
    return growth <= o.limitKb ? 0 : 1;
}
