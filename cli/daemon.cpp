#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "app/control_requests.h"
#include "app/globals.h"
#include "app/paths.h"
#include "app/screenshot.h"
#include "app/status.h"
#include "app/veskosd_app.h"
#include "app/veskosd_dlg.h"
#include "base/thread.h"
#include "cli/options.h"
#include "control/server.h"
#include "dispatch/dispatcher.h"
#include "input/model_id.h"
#include "osd/osd_window.h"
#include "platform/headless_osd.h"
#include "platform/linux/machine.h"
#include "platform/linux/runtime_paths.h"
#include "platform/linux/x11_input.h"
#include "platform/linux/x11_osd.h"

#include "platform/sim/machine.h"

namespace {

// Blocked in every thread (they inherit the mask), so they arrive only through the signalfd.
sigset_t endSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

// The session is ending: the window hears so, as it would from the desktop, and the process
// ends without tearing anything down.
void watchEndSignals() {
    const sigset_t set = endSignals();
    const int fd = signalfd(-1, &set, SFD_CLOEXEC);
    if (fd < 0) return;
    base::startThread("signals", [fd] {
        signalfd_siginfo info{};
        while (read(fd, &info, sizeof(info)) != static_cast<ssize_t>(sizeof(info))) {
        }
        base::Window* wnd = hMainWnd.load();
        if (!wnd) std::_Exit(0);
        wnd->queue().postTask([wnd] {
            wnd->WindowProc(WM_QUERYENDSESSION, 0, 0);
            wnd->WindowProc(WM_ENDSESSION, 1, 0);
            std::fflush(nullptr);
            std::_Exit(0);
        });
    });
}

// One connection for the OSD window and, on a real machine, the keyboard and mouse: asked
// for with --osd x11, or by default whenever there is a display. Null when not wanted or not
// to be had; the daemon then runs without X.
std::shared_ptr<platform::linux_adapter::X11Connection> openDisplay(const CliOptions& options) {
    const char* display = std::getenv("DISPLAY");  // NOLINT(concurrency-mt-unsafe)
    const bool haveDisplay = display && *display;
    const bool wanted = options.osd == "x11" || (haveDisplay && options.osd.empty()) ||
                        (haveDisplay && options.machine == "linux");
    if (!wanted) return nullptr;
    std::string error;
    auto x = platform::linux_adapter::X11Connection::open("", error);
    if (!x) std::fprintf(stderr, "veskosd: %s; running without X\n", error.c_str());
    return x;
}

}  // namespace

int runDaemon(const CliOptions& options) {
    const sigset_t set = endSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto runtimeDir = platform::linux_adapter::resolveRuntimeDir(options.runtimeDir, true, error);
    if (!runtimeDir) {
        std::fprintf(stderr, "veskosd: runtime directory: %s\n", error.c_str());
        return 1;
    }
    std::string dataOption = options.dataDir;
    if (dataOption.empty() && options.machine == "sim") dataOption = *runtimeDir + "/data";
    auto dataDir = platform::linux_adapter::resolveDataDir(dataOption, error);
    if (!dataDir) {
        std::fprintf(stderr, "veskosd: data directory: %s\n", error.c_str());
        return 1;
    }

    std::unique_ptr<platform::sim::SimMachine> sim;
    platform::Ports ports;
    if (options.machine == "sim") {
        sim = std::make_unique<platform::sim::SimMachine>(
            platform::sim::Options{*runtimeDir, options.simModel,
                                   options.osVersion ? options.osVersion : 6u, options.serial});
        ports = sim->makePorts();
        registerStatusSection("sim", [m = sim.get()] { return m->status(); });
        // The simulated firmware's answer to the model query, where the firmware channel
        // opens at start-up.
        startupHooks().openAcpiChannel = [model = options.simModel] {
            TakeModelNumber(static_cast<uint32_t>(model));
        };
        registerControlOp("sim", [m = sim.get()](const nlohmann::json& request) {
            return m->command(request.value("args", nlohmann::json::array()));
        });
    } else {
        platform::linux_adapter::Options linuxOptions{*runtimeDir, options.osVersion};
        if (!options.serial.empty()) linuxOptions.serialPath = options.serial;
        ports = platform::linux_adapter::makePorts(linuxOptions);
    }
    auto x = openDisplay(options);
    const bool x11Osd = x && options.osd != "headless";
    if (x11Osd) {
        ports.osdSurface = std::make_unique<platform::linux_adapter::X11Osd>(x);
    } else {
        ports.osdSurface = std::make_unique<platform::HeadlessOsd>();
    }
    if (x && options.machine == "linux") {
        ports.input = std::make_unique<platform::linux_adapter::X11Input>(x);
    }

    registerControlOp("screenshot", writeScreenshot);
    ports.windowDirectory = std::make_unique<control::ControlServer>(*runtimeDir + "/control.sock",
                                                                     handleControlRequest);
    platform::installPorts(std::move(ports));

    setApplicationName(options.programPath);
    setDataFolder(*dataDir);
    dispatch::setVerbose(options.verbose);
    watchEndSignals();

    CVESKOSDApp app;
    app.InitInstance();
    return 0;
}
