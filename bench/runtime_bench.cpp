// The running daemon, measured from outside as a user's desktop would see it: a private Xvfb and
// pulseaudio, the real daemon, keys pressed through XTest on a connection kept open, so that no
// process start is in a measured path. Prints medians and 90th percentiles.
//
//   runtime_bench [--presses N] [--idle-seconds S]
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <pulse/pulseaudio.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/summary.h"
#include "platform/linux/session/client.h"
#include "tests/support/process.h"
#include "tests/support/pulse_server.h"
#include "tests/support/xvfb.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double msSince(Clock::time_point t0, Clock::time_point t1 = Clock::now()) {
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

using bench::summarise;
using bench::Summary;

void printRow(const char* what, const std::vector<double>& v, const char* unit = "ms") {
    const Summary s = summarise(v);
    if (s.n == 0) {
        std::printf("%-44s %s\n", what, "no samples");
        return;
    }
    std::printf("%-44s median %7.2f %s   p90 %7.2f %s   max %7.2f %s   (%zu)\n", what, s.median,
                unit, s.p90, unit, s.max, unit, s.n);
}

std::string readFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Memory as the user pays for it: resident (with every shared library page), proportional
// (shared pages split among their users) and unique (pages no other process has).
struct Memory {
    long rss = -1, pss = -1, uss = -1, threads = -1;
    // Of the unique pages: those of libraries, fonts and caches read from files other than
    // ours, which every desktop process that maps them shares, but which no other process on a
    // bare test machine may map. The rest (heap, stacks, the executable and its modules,
    // libraries' relocated data) is the process's own on any machine.
    long foreignClean = -1;
    long own() const { return uss < 0 || foreignClean < 0 ? -1 : uss - foreignClean; }
};

// Private_Clean of file mappings outside the executable's own directory.
long foreignCleanPages(const std::string& smaps, const std::string& ownDir) {
    std::ifstream in(smaps);
    if (!in) return -1;
    std::string line;
    bool foreign = false;
    long kb = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first.empty()) continue;
        if (first.back() != ':') {
            // A mapping's header: range perms offset dev inode [path]
            std::string perms, offset, dev, inode, path;
            fields >> perms >> offset >> dev >> inode >> path;
            foreign =
                path.starts_with("/") && !path.starts_with("/memfd:") && !path.starts_with(ownDir);
        } else if (foreign && first == "Private_Clean:") {
            long v = 0;
            fields >> v;
            kb += v;
        }
    }
    return kb;
}

Memory memoryOf(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    Memory m;
    m.rss = testsupport::procStatusField(proc + "/status", "VmRSS");
    m.threads = testsupport::procStatusField(proc + "/status", "Threads");
    const std::string rollup = proc + "/smaps_rollup";
    m.pss = testsupport::procStatusField(rollup, "Pss");
    m.uss = testsupport::procStatusField(rollup, "Private_Clean") +
            testsupport::procStatusField(rollup, "Private_Dirty");
    m.foreignClean = foreignCleanPages(
        proc + "/smaps", std::filesystem::path(VESKOSD_BINARY).parent_path().string() + "/");
    return m;
}

void printMemory(const char* when, const Memory& m) {
    std::printf("%-44s RSS %.1f MB   PSS %.1f MB   USS %.1f MB   threads %ld\n", when,
                m.rss / 1024.0, m.pss / 1024.0, m.uss / 1024.0, m.threads);
    std::printf("%-44s USS: own %.1f MB + library and font pages no other process maps %.1f MB\n",
                "", m.own() / 1024.0, m.foreignClean / 1024.0);
}

// Context switches a thread made of its own accord: each is one wake-up after a wait.
std::map<std::string, std::pair<std::string, long>> threadWakeups(pid_t pid) {
    std::map<std::string, std::pair<std::string, long>> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string tid = e.path().filename();
        std::string name = readFile(e.path() / "comm");
        if (!name.empty() && name.back() == '\n') name.pop_back();
        out[tid] = {name,
                    testsupport::procStatusField(e.path() / "status", "voluntary_ctxt_switches")};
    }
    return out;
}

// Times the threads of a process were taken off the CPU against their will.
long preemptions(pid_t pid) {
    long n = 0;
    std::error_code ec;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        n += std::max(
            0L, testsupport::procStatusField(e.path() / "status", "nonvoluntary_ctxt_switches"));
    }
    return n;
}

std::string loadAverage() {
    std::string l = readFile("/proc/loadavg");
    return l.substr(0, l.find(' '));
}

// Wake-ups per second over the window, with the threads that woke.
double idleWakeups(pid_t pid, int seconds, std::string& who) {
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let start-up work settle
    const auto before = threadWakeups(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));  // the measured idle window
    const auto after = threadWakeups(pid);
    long total = 0;
    for (const auto& [tid, t] : after) {
        const auto it = before.find(tid);
        const long n = t.second - (it == before.end() ? 0 : it->second.second);
        if (n <= 0) continue;
        total += n;
        who += " " + t.first + "=" + std::to_string(n);
    }
    return static_cast<double>(total) / seconds;
}

pid_t spawnQuiet(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Polls the control socket until the daemon answers; the time from the spawn, or nothing.
std::optional<double> waitReady(const std::string& dir, Clock::time_point spawned) {
    std::string error;
    while (msSince(spawned) < 5000) {
        if (control::sendRequest(dir + "/control.sock", R"({"op":"status"})", 1000, error)) {
            return msSince(spawned);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return std::nullopt;
}

struct Daemon {
    pid_t pid = -1;
    std::optional<double> readyMs;
};

Daemon startDaemon(const std::string& dir, std::vector<std::string> args) {
    std::vector<std::string> argv{VESKOSD_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    for (const char* a : {"--runtime-dir", dir.c_str(), "--data-dir", dir.c_str()}) {
        argv.emplace_back(a);
    }
    const auto t0 = Clock::now();
    Daemon d{testsupport::spawnBackground(argv, dir + "/daemon.log"), std::nullopt};
    if (d.pid > 0) d.readyMs = waitReady(dir, t0);
    return d;
}

// Sees every change of a sink from the server's side, on its own thread.
class SinkWatch {
public:
    SinkWatch() {
        loop_ = pa_threaded_mainloop_new();
        ctx_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "runtime-bench");
        pa_context_set_state_callback(ctx_, onState, this);
        pa_context_set_subscribe_callback(ctx_, onEvent, this);
        pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        pa_threaded_mainloop_start(loop_);
        const auto t0 = Clock::now();
        while (!ready_ && msSince(t0) < 3000) std::this_thread::sleep_for(milliseconds(5));
    }
    ~SinkWatch() {
        pa_threaded_mainloop_stop(loop_);
        pa_context_disconnect(ctx_);
        pa_context_unref(ctx_);
        pa_threaded_mainloop_free(loop_);
    }
    bool ready() const { return ready_; }
    // When the server last reported a sink changed.
    Clock::time_point lastChange() const { return Clock::time_point(Clock::duration(last_)); }

private:
    static void onState(pa_context* c, void* self) {
        if (pa_context_get_state(c) != PA_CONTEXT_READY) return;
        pa_operation_unref(pa_context_subscribe(
            c, PA_SUBSCRIPTION_MASK_SINK,
            [](pa_context*, int ok, void* s) { static_cast<SinkWatch*>(s)->ready_ = ok != 0; },
            self));
    }
    static void onEvent(pa_context*, pa_subscription_event_type_t t, uint32_t, void* self) {
        if ((t & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_CHANGE) return;
        static_cast<SinkWatch*>(self)->last_ = Clock::now().time_since_epoch().count();
    }

    pa_threaded_mainloop* loop_;
    pa_context* ctx_;
    std::atomic<bool> ready_{false};
    std::atomic<Clock::rep> last_{0};
};

// Round trips of one client on its own blocking main loop: asking for the default sink, and
// setting its volume. Key to sink can be no shorter than the set; asking first adds the read.
struct RoundTrips {
    std::vector<double> read, set;
};

RoundTrips pulseRoundTrips(int n) {
    RoundTrips r;
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* ctx = pa_context_new(pa_mainloop_get_api(loop), "runtime-bench-rtt");
    auto runUntil = [&](auto done) {
        const auto t0 = Clock::now();
        while (!done() && msSince(t0) < 2000) pa_mainloop_iterate(loop, 1, nullptr);
        return done();
    };
    if (pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        runUntil([&] { return pa_context_get_state(ctx) == PA_CONTEXT_READY; })) {
        pa_cvolume v;
        pa_cvolume_set(&v, 2, PA_VOLUME_NORM * 3 / 10);
        for (int i = 0; i < n; ++i) {
            bool done = false;
            auto t0 = Clock::now();
            pa_operation* op = pa_context_get_sink_info_by_name(
                ctx, "@DEFAULT_SINK@",
                [](pa_context*, const pa_sink_info*, int eol, void* d) {
                    if (eol) *static_cast<bool*>(d) = true;
                },
                &done);
            if (op && runUntil([&] { return done; })) r.read.push_back(msSince(t0));
            if (op) pa_operation_unref(op);
            // Levels that differ each time, so that the server has something to do.
            pa_cvolume_set(&v, 2, PA_VOLUME_NORM * (30 + i % 2) / 100);
            done = false;
            t0 = Clock::now();
            op = pa_context_set_sink_volume_by_name(
                ctx, "@DEFAULT_SINK@", &v,
                [](pa_context*, int, void* d) { *static_cast<bool*>(d) = true; }, &done);
            if (op && runUntil([&] { return done; })) r.set.push_back(msSince(t0));
            if (op) pa_operation_unref(op);
        }
    }
    pa_context_disconnect(ctx);
    pa_context_unref(ctx);
    pa_mainloop_free(loop);
    return r;
}

// The measuring side of the X server: one connection presses keys, another listens on the
// root for keys and for the OSD's window being mapped.
class XWatch {
public:
    XWatch() : press_(XOpenDisplay(nullptr)), listen_(XOpenDisplay(nullptr)) {
        XSelectInput(listen_, DefaultRootWindow(listen_), SubstructureNotifyMask | KeyPressMask);
        XSync(listen_, False);
    }
    ~XWatch() {
        XCloseDisplay(press_);
        XCloseDisplay(listen_);
    }
    bool ok() const { return press_ && listen_; }

    void tap(const char* keysym) {
        const KeyCode k = XKeysymToKeycode(press_, XStringToKeysym(keysym));
        XTestFakeKeyEvent(press_, k, True, CurrentTime);
        XTestFakeKeyEvent(press_, k, False, CurrentTime);
        XFlush(press_);
    }
    void drain() {
        XSync(listen_, False);
        while (XPending(listen_)) {
            XEvent ev;
            next(ev);
        }
    }
    // Waits for an event that `match` takes, until the deadline; the time it arrived.
    template <typename Match>
    std::optional<Clock::time_point> waitFor(Match match, Clock::time_point deadline) {
        for (;;) {
            while (XPending(listen_)) {
                XEvent ev;
                const auto at = next(ev);
                if (match(ev)) return at;
            }
            const double left = -msSince(deadline);
            if (left <= 0) return std::nullopt;
            pollfd p{ConnectionNumber(listen_), POLLIN, 0};
            poll(&p, 1, static_cast<int>(left) + 1);
        }
    }
    bool isOsd(Window w) {
        if (w == osd_) return true;
        if (osd_ != None) return false;
        char* name = nullptr;
        const bool yes = XFetchName(listen_, w, &name) && name && std::string(name) == "VESKOSD";
        if (name) XFree(name);
        if (yes) osd_ = w;
        return yes;
    }
    bool osdMapped() const { return osdMapped_; }
    // Another daemon, another OSD window.
    void forgetOsd() {
        osd_ = None;
        osdMapped_ = false;
    }

private:
    Clock::time_point next(XEvent& ev) {
        XNextEvent(listen_, &ev);
        const auto at = Clock::now();
        if (ev.type == MapNotify && isOsd(ev.xmap.window)) osdMapped_ = true;
        if (ev.type == UnmapNotify && isOsd(ev.xunmap.window)) osdMapped_ = false;
        return at;
    }

    Display* press_;
    Display* listen_;
    Window osd_ = None;
    bool osdMapped_ = false;
};

int argValue(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int presses = argValue(argc, argv, "--presses", 20);
    const int idleSeconds = argValue(argc, argv, "--idle-seconds", 30);
    testsupport::PulseServer pulse;
    testsupport::Xvfb xvfb;
    pulse.pactl("set-sink-volume spk 30%");
    const RoundTrips paTrips = pulseRoundTrips(50);
    pulse.pactl("set-sink-volume spk 30%");
    SinkWatch sinks;
    XWatch x;
    if (!sinks.ready() || !x.ok()) {
        std::fprintf(stderr, "runtime_bench: cannot watch the sink or the X server\n");
        return 1;
    }
    // No firmware and no serial line: the OSD model on the real adapters.
    const std::vector<std::string> osdModel{"--machine", "linux", "--serial", "/nonexistent"};
    const std::string dir = testsupport::makeTempDir("veskosd-runtime-bench");

    std::vector<double> ready;
    Daemon daemon;
    for (int i = 0; i < 5; ++i) {
        if (daemon.pid > 0) testsupport::killAndReap(daemon.pid);
        daemon = startDaemon(dir, osdModel);
        if (!daemon.readyMs) {
            std::fprintf(stderr, "runtime_bench: the daemon did not answer; see %s/daemon.log\n",
                         dir.c_str());
            return 1;
        }
        ready.push_back(*daemon.readyMs);
    }
    // One press of a volume key from a hidden OSD: when the sink changed and when the OSD
    // window was mapped, each if it happened.
    struct Press {
        std::optional<double> sink, osd;
        long daemonPreempted = 0, xPreempted = 0, soundPreempted = 0;
    };
    auto waitHidden = [&] {
        if (!x.osdMapped()) return;
        x.waitFor(
            [&](const XEvent& e) { return e.type == UnmapNotify && x.isOsd(e.xunmap.window); },
            Clock::now() + milliseconds(8000));
    };
    auto press = [&](bool up) {
        waitHidden();
        x.drain();
        const long d0 = preemptions(daemon.pid), x0 = preemptions(xvfb.pid()),
                   s0 = preemptions(pulse.pid());
        const auto t0 = Clock::now();
        x.tap(up ? "XF86AudioRaiseVolume" : "XF86AudioLowerVolume");
        const auto mapped = x.waitFor(
            [&](const XEvent& e) { return e.type == MapNotify && x.isOsd(e.xmap.window); },
            t0 + milliseconds(2000));
        while (sinks.lastChange() < t0 && msSince(t0) < 2000) std::this_thread::yield();
        Press p;
        if (sinks.lastChange() >= t0) p.sink = msSince(t0, sinks.lastChange());
        if (mapped) p.osd = msSince(t0, *mapped);
        p.daemonPreempted = preemptions(daemon.pid) - d0;
        p.xPreempted = preemptions(xvfb.pid()) - x0;
        p.soundPreempted = preemptions(pulse.pid()) - s0;
        return p;
    };

    // A user who presses a key right after the daemon came up.
    std::this_thread::sleep_for(milliseconds(200));
    const Memory memStart = memoryOf(daemon.pid);
    const Press first = press(true);
    const Memory memOsd = memoryOf(daemon.pid);
    waitHidden();
    // The daemon as it idles between keys, the fade's last step behind it.
    std::this_thread::sleep_for(milliseconds(100));
    const Memory memFaded = memoryOf(daemon.pid);

    std::string osdWho;
    const double osdIdle = idleWakeups(daemon.pid, idleSeconds, osdWho);

    std::vector<double> floor;
    for (int i = 0; i < presses; ++i) {
        x.drain();
        const auto t0 = Clock::now();
        x.tap("a");
        const auto seen =
            x.waitFor([](const XEvent& e) { return e.type == KeyPress; }, t0 + milliseconds(1000));
        if (seen) floor.push_back(msSince(t0, *seen));
    }

    std::vector<double> toSink, toOsd;
    std::vector<Press> osdPresses;
    const std::string loadBefore = loadAverage();
    for (int i = 0; i < presses; ++i) {
        // Alternating keeps the level away from either end, where nothing would be set.
        const Press p = press(i % 2 != 0);
        if (p.sink) toSink.push_back(*p.sink);
        if (p.osd) toOsd.push_back(*p.osd);
        osdPresses.push_back(p);
    }
    const std::string loadAfter = loadAverage();

    std::vector<double> client;
    for (int i = 0; i < 20; ++i) {
        const auto t0 = Clock::now();
        const pid_t p = spawnQuiet({VESKOSD_BINARY, "--runtime-dir", dir, "status"});
        int status = 0;
        if (p > 0 && waitpid(p, &status, 0) == p && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            client.push_back(msSince(t0));
        }
    }
    testsupport::killAndReap(daemon.pid);

    // The same presses on a daemon that asks the server before every step, as it did before it
    // followed the server's events.
    std::vector<double> toSinkAsking;
    setenv("VESKOSD_PULSE_EVENTS", "0", 1);
    daemon = startDaemon(dir, osdModel);
    unsetenv("VESKOSD_PULSE_EVENTS");
    x.forgetOsd();
    if (daemon.readyMs) {
        std::this_thread::sleep_for(milliseconds(200));
        for (int i = 0; i < presses; ++i) {
            const Press p = press(i % 2 != 0);
            if (p.sink) toSinkAsking.push_back(*p.sink);
        }
    }
    if (daemon.pid > 0) testsupport::killAndReap(daemon.pid);

    // Both ways again on PipeWire's pulse server. Key to sink only, paced rather than waiting
    // for each OSD to fade, the same for both ways.
    std::vector<double> pwKept, pwAsking;
    RoundTrips pwTrips;
    {
        testsupport::PulseServer pipewire(testsupport::SoundServer::PipeWire);
        pipewire.pactl("set-sink-volume spk 30%");
        pwTrips = pulseRoundTrips(50);
        pipewire.pactl("set-sink-volume spk 30%");
        SinkWatch pwSinks;
        for (bool asking : {false, true}) {
            if (asking) setenv("VESKOSD_PULSE_EVENTS", "0", 1);
            daemon = startDaemon(dir, osdModel);
            unsetenv("VESKOSD_PULSE_EVENTS");
            x.forgetOsd();
            std::this_thread::sleep_for(milliseconds(200));
            for (int i = 0; daemon.readyMs && pwSinks.ready() && i < presses; ++i) {
                x.drain();
                const auto t0 = Clock::now();
                x.tap(i % 2 != 0 ? "XF86AudioRaiseVolume" : "XF86AudioLowerVolume");
                while (pwSinks.lastChange() < t0 && msSince(t0) < 2000) std::this_thread::yield();
                if (pwSinks.lastChange() >= t0) {
                    (asking ? pwAsking : pwKept).push_back(msSince(t0, pwSinks.lastChange()));
                }
                std::this_thread::sleep_for(milliseconds(150));
            }
            if (daemon.pid > 0) testsupport::killAndReap(daemon.pid);
        }
    }
    setenv("PULSE_SERVER", pulse.address().c_str(), 1);

    // The controller model, with no serial line present.
    const std::string dir2 = testsupport::makeTempDir("veskosd-runtime-bench");
    Daemon controller =
        startDaemon(dir2, {"--machine", "sim", "--sim-model", "2", "--serial", "/nonexistent"});
    std::string controllerWho;
    double controllerIdle = -1;
    if (controller.readyMs)
        controllerIdle = idleWakeups(controller.pid, idleSeconds, controllerWho);
    if (controller.pid > 0) testsupport::killAndReap(controller.pid);

    std::printf("\n");
    printRow("key floor (XTest -> root-window client)", floor);
    printRow("key -> sink volume changed (events kept)", toSink);
    printRow("key -> sink volume changed (asking first)", toSinkAsking);
    printRow("pipewire-pulse: key -> sink (events kept)", pwKept);
    printRow("pipewire-pulse: key -> sink (asking first)", pwAsking);
    printRow("pulseaudio: one sink info round trip", paTrips.read);
    printRow("pulseaudio: one set volume round trip", paTrips.set);
    printRow("pipewire-pulse: one sink info round trip", pwTrips.read);
    printRow("pipewire-pulse: one set volume round trip", pwTrips.set);
    printRow("key -> OSD window mapped", toOsd);
    // What held up the presses that took more than 2.5 ms past the median: a process of the
    // path taken off the CPU (the scheduler), or none (the daemon itself).
    std::string outliers;
    const double median = summarise(toOsd).median;
    for (const Press& p : osdPresses) {
        if (!p.osd || *p.osd <= median + 2.5) continue;
        char line[160];
        std::snprintf(line, sizeof line,
                      " %.2f ms (preempted: daemon %ld, X server %ld, sound server %ld);", *p.osd,
                      p.daemonPreempted, p.xPreempted, p.soundPreempted);
        outliers += line;
    }
    std::printf("%-44s%s load %s -> %s\n", "key -> OSD beyond median + 2.5 ms:",
                outliers.empty() ? " none;" : outliers.c_str(), loadBefore.c_str(),
                loadAfter.c_str());
    std::printf("%-44s key -> sink %.2f ms, key -> OSD %.2f ms\n", "first press, 0.2 s after start",
                first.sink.value_or(-1), first.osd.value_or(-1));
    printRow("spawn -> answering status", ready);
    printRow("`veskosd status`, whole process", client);
    printMemory("memory after start (OSD model)", memStart);
    printMemory("memory after the first OSD", memOsd);
    printMemory("memory once that OSD faded", memFaded);
    std::printf("%-44s %.2f /s over %d s:%s\n", "idle wake-ups, OSD model (linux)", osdIdle,
                idleSeconds, osdWho.empty() ? " none" : osdWho.c_str());
    std::printf("%-44s %.2f /s over %d s:%s\n", "idle wake-ups, controller model (sim, no port)",
                controllerIdle, idleSeconds,
                controllerWho.empty() ? " none" : controllerWho.c_str());
    testsupport::removeTree(dir);
    testsupport::removeTree(dir2);
    return 0;
}
