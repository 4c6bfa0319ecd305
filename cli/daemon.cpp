#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "app/control_requests.h"
#include "app/globals.h"
#include "app/paths.h"
#include "app/screenshot.h"
#include "app/status.h"
#include "app/veskosd_app.h"
#include "app/veskosd_dlg.h"
#include "base/os.h"
#include "base/thread.h"
#include "cli/key_names.h"
#include "cli/options.h"
#include "dispatch/dispatcher.h"
#include "input/model_id.h"
#include "osd/osd_window.h"
#include "platform/linux/desktop_bus.h"
#include "platform/linux/machine.h"
#include "platform/linux/module/backend_lazy.h"
#include "platform/linux/session/instance_lock.h"
#include "platform/linux/session/runtime_paths.h"
#include "platform/linux/session/server.h"

#include "platform/sim/machine.h"

namespace {

// How long the GUI thread has to handle the session end before the process ends without it.
constexpr int kSessionEndGraceMs = 3000;

// Blocked in every thread (they inherit the mask), so they arrive only through the signalfd.
sigset_t endSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

// True when a signal came within `timeoutMs` (-1: no limit).
bool waitForSignal(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int r = poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        signalfd_siginfo info{};
        if (read(fd, &info, sizeof(info)) == static_cast<ssize_t>(sizeof(info))) return true;
    }
}

// Without stdio: the thread that holds a stream's lock may be the one that is stuck.
[[noreturn]] void endNow(const char* line) {
    const ssize_t written = write(STDERR_FILENO, line, std::strlen(line));
    static_cast<void>(written);
    std::_Exit(0);
}

// The session is ending: the window hears so, as it would from the desktop, and the process
// ends without tearing anything down. A GUI thread that does not get to it in time, or a second
// signal, ends the process from here.
void watchEndSignals() {
    const sigset_t set = endSignals();
    const int fd = signalfd(-1, &set, SFD_CLOEXEC);
    if (fd < 0) return;
    base::startThread("signals", [fd] {
        waitForSignal(fd, -1);
        platform::linux_adapter::serviceStopping();
        base::Window* wnd = hMainWnd.load();
        if (!wnd) std::_Exit(0);
        wnd->queue().postTask([wnd] {
            wnd->WindowProc(WM_QUERYENDSESSION, 0, 0);
            wnd->WindowProc(WM_ENDSESSION, 1, 0);
            std::fflush(nullptr);
            std::_Exit(0);
        });
        if (waitForSignal(fd, kSessionEndGraceMs)) {
            endNow("veskosd: a second signal; ending at once\n");
        }
        endNow("veskosd: the session end was not handled within 3 s; ending\n");
    });
}

// One X connection for the OSD window and, on a real machine, the keyboard and mouse: asked
// for with --osd x11, or by default whenever there is a display. Without one the daemon runs
// without X.
bool displayWanted(const CliOptions& options) {
    const char* display = std::getenv("DISPLAY");  // NOLINT(concurrency-mt-unsafe)
    const bool haveDisplay = display && *display;
    return options.osd == "x11" || (haveDisplay && options.osd.empty()) ||
           (haveDisplay && options.machine == "linux");
}

// Taken before anything else is built or touched: a second start must leave the first
// instance's serial line, socket and files alone. False, with a line on stderr, when this
// start is to end.
bool holdInstanceLock(const std::string& runtimeDir) {
    std::string why;
    using platform::linux_adapter::LockResult;
    if (platform::linux_adapter::takeInstanceLock(runtimeDir, kInstanceMutexName, why) ==
        LockResult::Held) {
        return true;
    }
    std::fprintf(stderr, "veskosd: %s; this start ends\n", why.c_str());
    return false;
}

// The OSD model paints on its first key: its graphics back end and fonts are made ready now, off
// the GUI thread, so that first press does not wait for them. What loading them left free goes
// back to the system.
void warmUpOsdGraphics() {
    if (!bOSDModel) return;
    try {
        std::thread([] {
            auto canvas = platform::ports().graphics->createCanvas(64, 32);
            canvas->drawText(0, 0, "0123456789", platform::FontSpec{"sans", 24, true}, 0xFFFFFF, 0);
            canvas.reset();
            base::os::giveBackFreedMemory();
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread the first paint merely takes longer.
    }
}

// One watchdog feed queued on the GUI thread at a time: a wedged loop gets no pile of them.
std::atomic<bool> watchdogFeedQueued{false};

// READY once start-up is done; then, when the service manager asked for a watchdog, a feed
// through the GUI thread's loop at half its time-out, so that only a turning loop feeds it.
// Without a watchdog nothing wakes up.
void reportToServiceManager() {
    startupHooks().startupDone = [] {
        platform::linux_adapter::serviceReady();
        warmUpOsdGraphics();
        const uint32_t interval = platform::linux_adapter::serviceWatchdogIntervalMs();
        base::Window* wnd = hMainWnd.load();
        if (interval == 0 || !wnd) return;
        base::startThread("watchdog", [wnd, interval] {
            for (;;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(interval));
                if (watchdogFeedQueued.exchange(true)) continue;
                wnd->queue().postTask([] {
                    platform::linux_adapter::serviceWatchdog();
                    watchdogFeedQueued = false;
                });
            }
        });
    };
}

// The volume keys through the desktop portal, for a desktop that keeps global keys to itself: a
// press arrives as the key grab's WM_HOTKEY would.
void bindPortalShortcuts() {
    std::vector<platform::linux_adapter::PortalShortcut> shortcuts;
    for (const NamedKey& key : kNamedKeys) {
        if (key.trigger) shortcuts.push_back({key.name, key.description, key.trigger});
    }
    platform::linux_adapter::startPortalShortcuts(std::move(shortcuts), [](const std::string& id) {
        for (const NamedKey& key : kNamedKeys) {
            if (id == key.name) {
                base::postMessage(hMainWnd.load(), WM_HOTKEY, key.id, hotKeyLParam(key));
            }
        }
    });
}

}  // namespace

int runDaemon(const CliOptions& options) {
    // One malloc arena for all threads: they seldom allocate at once, and an arena per thread
    // costs pages of its own that stay with the process. Set before any thread starts.
#ifdef M_ARENA_MAX
    mallopt(M_ARENA_MAX, 1);  // NOLINT(concurrency-mt-unsafe)
#endif
    const sigset_t set = endSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto runtimeDir = platform::linux_adapter::resolveRuntimeDir(options.runtimeDir, true, error);
    if (!runtimeDir) {
        std::fprintf(stderr, "veskosd: runtime directory: %s\n", error.c_str());
        return 1;
    }
    if (!holdInstanceLock(*runtimeDir)) return 0;

    std::string dataOption = options.dataDir;
    if (dataOption.empty() && options.machine == "sim") dataOption = *runtimeDir + "/data";
    auto dataDir = platform::linux_adapter::resolveDataDir(dataOption, error);
    if (!dataDir) {
        std::fprintf(stderr, "veskosd: data directory: %s\n", error.c_str());
        return 1;
    }

    // Never freed: its ports and verbs are used by threads until the process ends.
    static platform::sim::SimMachine* sim = nullptr;
    platform::Ports ports;
    platform::linux_adapter::AdapterChoices choices;
    if (options.machine == "sim") {
        platform::sim::Options simOptions;
        simOptions.runtimeDir = *runtimeDir;
        simOptions.model = options.simModel;
        simOptions.osVersion = options.osVersion ? options.osVersion : 6u;
        simOptions.serialPath = options.serial;
        simOptions.firmware.present = !options.simNoFirmware;
        simOptions.firmware.model = options.simModel;
        if (!options.simLevels.empty() &&
            !platform::sim::parseSimLevels(options.simLevels, simOptions.firmware, error)) {
            std::fprintf(stderr, "veskosd: %s\n", error.c_str());
            return 1;
        }
        simOptions.dimTimeoutSeconds = options.simDimTimeout;
        simOptions.launchArguments = platform::linux_adapter::launchArguments;
        sim = new platform::sim::SimMachine(std::move(simOptions));
        ports = sim->makePorts();
        platform::linux_adapter::addGraphicsAndXml(ports, choices);
        registerStatusSection("sim", [m = sim] { return m->status(); });
        registerControlOp("sim", [m = sim](const nlohmann::json& request) {
            return m->command(request.value("args", nlohmann::json::array()));
        });
    } else {
        platform::linux_adapter::Options linuxOptions;
        linuxOptions.runtimeDir = *runtimeDir;
        linuxOptions.osVersion = options.osVersion;
        if (!options.serial.empty()) linuxOptions.serialPath = options.serial;
        linuxOptions.acpi.devicePath = options.acpiDevice;
        linuxOptions.acpi.methodPrefix = options.acpiMethodPath;
        linuxOptions.acpi.buttonsPath = options.acpiButtons;
        linuxOptions.acpi.model = options.model;
        linuxOptions.dataDir = *dataDir;
        // Monitor power is told by the screen saver of the display the session runs on.
        const char* display = std::getenv("DISPLAY");  // NOLINT(concurrency-mt-unsafe)
        if (display) linuxOptions.display = display;
        ports = platform::linux_adapter::makePorts(linuxOptions, choices);
    }
    platform::linux_adapter::DisplayOptions display;
    display.server = options.displayServer;
    if (display.server.empty() && options.osd == "x11") display.server = "x11";
    display.osdOutput = options.osdOutput;
    display.open = displayWanted(options);
    display.osd = options.osd.empty() || options.osd == "x11";
    display.notifications = options.osd == "notification";
    display.realMachine = options.machine == "linux";
    display.osVersion = options.osVersion;
    platform::linux_adapter::addDisplay(ports, display, choices);
    std::fprintf(stderr, "veskosd: %s\n", choices.line().c_str());

    registerControlOp("screenshot", writeScreenshot);
    ports.windowDirectory = std::make_unique<control::ControlServer>(*runtimeDir + "/control.sock",
                                                                     handleControlRequest);
    platform::installPorts(std::move(ports));
    if (options.portalShortcuts) bindPortalShortcuts();

    setApplicationName(options.programPath);
    setDataFolder(*dataDir);
    dispatch::setVerbose(options.verbose);
    watchEndSignals();
    reportToServiceManager();

    CVESKOSDApp app;
    app.InitInstance();
    // Worker threads are never joined: nothing static may be destroyed under them.
    std::fflush(nullptr);
    std::_Exit(0);
}
