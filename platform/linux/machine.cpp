#include "platform/linux/machine.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/headless_osd.h"
#include "platform/linux/desktop_bus.h"
#include "platform/linux/display_choice.h"
#include "platform/linux/hid/hidraw_input.h"
#include "platform/linux/module/backend_lazy.h"
#include "platform/linux/module/backend_loader.h"
#include "platform/linux/serial/path_watcher.h"
#include "platform/linux/serial/termios_serial.h"
#include "platform/linux/session/instance_lock.h"

namespace platform::linux_adapter {

namespace {

// The interface generation without X: 6 (the endpoint path), or the override.
class VersionInfo final : public PlatformInfo {
public:
    explicit VersionInfo(uint32_t override) : override_(override) {}
    uint32_t majorVersion() override { return override_ != 0 ? override_ : 6; }

private:
    uint32_t override_;
};

template <class Table>
const Table* backend(const std::string& family, AdapterChoices& choices) {
    std::string why;
    const Table* table = loadBackend<Table>(family, why);
    if (!table) choices.unavailable(family, why);
    return table;
}

// Whether `family`'s module is there to be opened later.
bool present(const std::string& family, AdapterChoices& choices) {
    if (!findBackend(family).empty()) return true;
    choices.unavailable(family, "veskosd-" + family + ".so not found");
    return false;
}

const SystemdBackend* serviceBackend() {
    // Without the manager's socket every notification is a no-op: no reason to load libsystemd.
    static const SystemdBackend* const table = [] {
        const char* socket = std::getenv("NOTIFY_SOCKET");  // NOLINT(concurrency-mt-unsafe)
        std::string why;
        return socket && *socket ? loadBackend<SystemdBackend>("systemd", why) : nullptr;
    }();
    return table;
}

}  // namespace

void AdapterChoices::choose(std::string port, std::string adapter) {
    chosen_.emplace_back(std::move(port), std::move(adapter));
}

void AdapterChoices::unavailable(const std::string& family, const std::string& why) {
    for (const std::string& u : unavailable_) {
        if (u.starts_with(family + ": ")) return;
    }
    unavailable_.push_back(family + ": " + why);
}

std::string AdapterChoices::line() const {
    std::string s = "adapters:";
    for (const auto& [port, adapter] : chosen_)
        s.append(" ").append(port).append("=").append(adapter);
    if (!unavailable_.empty()) {
        s += "; unavailable:";
        for (std::size_t i = 0; i < unavailable_.size(); ++i) {
            s.append(i == 0 ? " " : "; ").append(unavailable_[i]);
        }
    }
    return s;
}

Ports makePorts(const Options& options, AdapterChoices& choices) {
    Ports p;
    p.info = std::make_unique<VersionInfo>(options.osVersion);
    p.instanceLock = std::make_unique<FlockInstanceLock>(options.runtimeDir);

    if (const auto* pulse = backend<PulseBackend>("pulse", choices)) {
        p.audioEndpoints = pulse->endpoints();
    }
    choices.choose("audio", p.audioEndpoints ? "pulse" : "none");
    if (present("alsa", choices)) p.mixer = makeLazyMixer();
    choices.choose("mixer", p.mixer ? "alsa(on first use)" : "none");
    addGraphicsAndXml(p, choices);

    if (const auto* systemd = backend<SystemdBackend>("systemd", choices)) {
        p.eventLog = systemd->eventLog();
        p.messageBox = systemd->messageBox();
        p.monitorBrightness = systemd->backlight();
    }
    choices.choose("log", p.eventLog ? "journal" : "none");
    choices.choose("messages", p.messageBox ? "journal" : "none");
    choices.choose("backlight", p.monitorBrightness ? "sysfs" : "none");
    if (present("gio", choices)) p.launcher = makeLazyLauncher();
    choices.choose("launcher", p.launcher ? "gio(on first use)" : "none");

    p.serialPorts = std::make_unique<TermiosSerialPorts>(options.serialPath);
    p.deviceNotices = std::make_unique<PathWatcher>(options.serialPath, "COM1");
    choices.choose("serial", "termios");
    p.acpiDrivers = makeAcpiDrivers(options.acpi);
    choices.choose("firmware",
                   options.acpi.devicePath.empty() ? "acpi_call" : "device(else acpi_call)");
    choices.choose("model", options.acpi.model == 0
                                ? "firmware"
                                : "firmware(else " + std::to_string(options.acpi.model) + ")");
    p.rawInput = makeHidrawInput();
    choices.choose("hid", "hidraw");
    if (const auto* logind = backend<LogindBackend>("logind", choices)) {
        p.power = logind->power(options.dataDir.empty() ? options.runtimeDir : options.dataDir,
                                options.display);
    }
    choices.choose("power", p.power ? "logind" : "none");
    return p;
}

namespace {

// The X display's adapters, when one can be opened.
void addX11(Ports& p, const DisplayOptions& options, AdapterChoices& choices) {
    const X11Backend* x11 = backend<X11Backend>("x11", choices);
    if (!x11) return;
    std::string error;
    std::shared_ptr<X11Connection> x = x11->open("", error);
    if (!x) {
        choices.unavailable("display", error);
        return;
    }
    if (options.osd) p.osdSurface = x11->osd(x);
    if (options.realMachine) {
        p.input = x11->input(x);
        p.info = x11->info(options.osVersion, x);
    }
}

}  // namespace

void addDisplay(Ports& p, const DisplayOptions& options, AdapterChoices& choices) {
    DisplayFacts facts;
    facts.forced = options.server;
    const char* waylandName = std::getenv("WAYLAND_DISPLAY");  // NOLINT(concurrency-mt-unsafe)
    facts.waylandDisplay = waylandName && *waylandName;
    facts.x11Display = options.open;
    const WaylandBackend* wayland = nullptr;
    std::shared_ptr<WaylandDisplay> w;
    if ((facts.forced.empty() && facts.waylandDisplay) || facts.forced == "wayland") {
        wayland = backend<WaylandBackend>("wayland", choices);
        std::string error;
        if (wayland) w = wayland->open(facts.waylandDisplay ? waylandName : "", error);
        if (wayland && !w) choices.unavailable("wayland", error);
        facts.waylandAnswers = w != nullptr;
        facts.layerShell = w && wayland->hasLayerShell(w);
        if (w && !facts.layerShell) {
            choices.unavailable("wayland", "the compositor offers no layer-shell");
        }
    }
    const DisplayServer server = chooseDisplayServer(facts);
    choices.choose("display", displayServerName(server));
    std::string osd = "headless";
    if (server == DisplayServer::Wayland && w) {
        if (options.osd && facts.layerShell) {
            p.osdSurface = wayland->osd(w, options.osdOutput);
            osd = "wayland";
        }
        if (options.realMachine) p.input = wayland->input(w);
    } else if (server == DisplayServer::X11) {
        addX11(p, options, choices);
        if (p.osdSurface) osd = "x11";
    }
    // A compositor without layer-shell and no X display: the desktop's notifications.
    const bool notify =
        options.notifications || (server == DisplayServer::Notification && options.osd);
    if (!p.osdSurface && notify) {
        p.osdSurface = makeNotificationOsd(choices);
        if (p.osdSurface) osd = "notification";
    }
    choices.choose("osd", osd);
    if (!p.osdSurface) p.osdSurface = std::make_unique<HeadlessOsd>();
    if (options.realMachine) {
        const char* input = !p.input                           ? "none"
                            : server == DisplayServer::Wayland ? "wayland"
                                                               : "x11";
        choices.choose("input", input);
    }
}

void addGraphicsAndXml(Ports& p, AdapterChoices& choices) {
    if (present("cairo", choices)) p.graphics = makeLazyGraphics();
    choices.choose("graphics", p.graphics ? "cairo(on first use)" : "none");
    if (present("xml", choices)) p.xmlReaders = makeLazyXmlReaders();
    choices.choose("xml", p.xmlReaders ? "libxml2(on first use)" : "none");
}

void serviceReady() {
    if (const auto* s = serviceBackend()) s->notifyReady();
}

void serviceStopping() {
    if (const auto* s = serviceBackend()) s->notifyStopping();
}

void serviceWatchdog() {
    if (const auto* s = serviceBackend()) s->notifyWatchdog();
}

uint32_t serviceWatchdogIntervalMs() {
    const auto* s = serviceBackend();
    return s ? s->watchdogFeedIntervalMs() : 0;
}

}  // namespace platform::linux_adapter
