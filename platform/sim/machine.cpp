#include "platform/sim/machine.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>

#include "platform/linux/session/instance_lock.h"

#include "platform/linux/serial/path_watcher.h"
#include "platform/linux/serial/termios_serial.h"

namespace platform::sim {

namespace {

class SimInfo final : public PlatformInfo {
public:
    SimInfo(uint32_t version, uint32_t dimTimeout) : version_(version), dimTimeout_(dimTimeout) {}
    uint32_t majorVersion() override { return version_; }
    uint32_t displayDimTimeoutSeconds() override { return dimTimeout_; }

private:
    uint32_t version_;
    uint32_t dimTimeout_;
};

// The box's text goes to stderr; the core keeps the record that status reports.
class SimMessageBox final : public MessageBoxSink {
public:
    void show(const std::string& text, const std::string& caption, uint32_t) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
};

}  // namespace

// Keeps the last reports as the log would, with their source and data size, for the status
// report.
class SimEventLog final : public EventLog {
public:
    explicit SimEventLog(base::RecentEntries<nlohmann::json>* entries, std::mutex* m)
        : entries_(entries), m_(m) {}
    bool registerSource(const std::string& source) override {
        std::lock_guard l(*m_);
        source_ = source;
        return true;
    }
    void reportError(uint32_t eventId, const std::string& text, uint32_t dataSize) override {
        std::lock_guard l(*m_);
        entries_->push(
            {{"source", source_}, {"id", eventId}, {"text", text}, {"dataSize", dataSize}});
    }
    void deregisterSource() override {
        std::lock_guard l(*m_);
        source_.clear();
    }

private:
    base::RecentEntries<nlohmann::json>* entries_;
    std::mutex* m_;
    std::string source_;
};

SimMachine::SimMachine(Options options)

    : options_(std::move(options)),
      controller_(options_.runtimeDir + "/ttyVESKOSD"),
      firmware_(std::make_shared<SimFirmware>(options_.firmware)) {}

// Graphics and the XML reader are the real ones, added by the caller.
Ports SimMachine::makePorts() {
    Ports p;
    p.info = std::make_unique<SimInfo>(options_.osVersion, options_.dimTimeoutSeconds);
    p.acpiDrivers = std::make_unique<SimAcpiDrivers>(firmware_);
    auto launcher = std::make_unique<SimLauncher>(options_.launchArguments);
    launcher_ = launcher.get();
    p.launcher = std::move(launcher);
    auto backlight = std::make_unique<SimBacklight>();
    backlight_ = backlight.get();
    p.monitorBrightness = std::move(backlight);
    auto hid = std::make_unique<SimHid>();
    hid_ = hid.get();
    p.rawInput = std::move(hid);
    auto power = std::make_unique<SimPower>();
    power_ = power.get();
    p.power = std::move(power);
    p.messageBox = std::make_unique<SimMessageBox>();
    p.audioEndpoints = audio_.makeEndpoints();
    p.mixer = audio_.makeMixer();
    std::string error;
    if (!controller_.start(error)) {
        std::fprintf(stderr, "veskosd: simulated display controller: %s\n", error.c_str());
    }
    const std::string line = options_.serialPath.empty() ? controller_.path() : options_.serialPath;
    p.serialPorts = std::make_unique<linux_adapter::TermiosSerialPorts>(line);
    p.deviceNotices = std::make_unique<linux_adapter::PathWatcher>(line, "COM1");
    p.eventLog = std::make_unique<SimEventLog>(&eventLog_, &m_);
    auto input = std::make_unique<SimInput>();

    input_ = input.get();
    p.input = std::move(input);

    // The guard is a real one even here, so two simulated instances behave as two real ones.
    p.instanceLock = std::make_unique<linux_adapter::FlockInstanceLock>(options_.runtimeDir);
    return p;
}

nlohmann::json SimMachine::status() const {
    const nlohmann::json input = input_ ? input_->status() : nlohmann::json::object();
    std::lock_guard lock(m_);
    nlohmann::json log = nlohmann::json::array();
    for (const auto& entry : eventLog_.entries()) log.push_back(entry);
    nlohmann::json launched = launcher_ ? launcher_->status() : nlohmann::json::object();
    return {{"model", options_.model},
            {"osVersion", options_.osVersion},
            {"firmware", firmware_->status()},
            {"launched", launched.value("entries", nlohmann::json::array())},
            {"launchedDropped", launched.value("dropped", 0)},
            {"backlight", backlight_ ? backlight_->status() : nlohmann::json::object()},
            {"hid", hid_ ? hid_->status() : nlohmann::json::object()},
            {"power", power_ ? power_->status() : nlohmann::json::object()},
            {"audio", audio_.status()},
            {"controller", controller_.status()},
            {"injected", input.value("injected", nlohmann::json::array())},
            {"injectedDropped", input.value("injectedDropped", 0)},
            {"input", input},
            {"eventLog", log},
            {"eventLogDropped", eventLog_.dropped()}};
}

nlohmann::json SimMachine::command(const nlohmann::json& args) {
    if (!args.is_array() || args.empty() || !args[0].is_string()) {
        throw std::invalid_argument("sim: expected a device and a verb");
    }
    const std::string device = args[0].get<std::string>();
    if (device == "audio") return audioCommand(args);
    if (device == "controller") return controller_.command(args);
    if ((device == "key" || device == "mouse") && input_) return input_->command(args);
    if (device == "gui") return guiCommand(args);
    const nlohmann::json rest(args.begin() + 1, args.end());
    if (device == "firmware") return firmware_->command(rest);
    if (device == "backlight" && backlight_) return backlight_->command(rest);
    if (device == "hid" && hid_) return hid_->command(rest);
    if (device == "power" && power_) return power_->command(rest);

    throw std::invalid_argument("sim: no simulated device \"" + device + "\"");
}

namespace {

std::string arg(const nlohmann::json& args, std::size_t i, const char* usage) {
    if (i >= args.size() || !args[i].is_string()) throw std::invalid_argument(usage);
    return args[i].get<std::string>();
}

double number(const std::string& text, const char* usage) {
    try {
        std::size_t used = 0;
        const double v = std::stod(text, &used);
        if (used != text.size()) throw std::invalid_argument(usage);
        return v;
    } catch (const std::logic_error&) {
        throw std::invalid_argument(usage);
    }
}

}  // namespace

// Sim verbs run on the GUI thread: this one wedges it, as a handler stuck in a device call
// would, so that what must work without it can be shown to.
nlohmann::json SimMachine::guiCommand(const nlohmann::json& args) {
    static constexpr const char* kUsage = "sim gui hold MILLISECONDS (at most 600000)";
    if (arg(args, 1, kUsage) != "hold") throw std::invalid_argument(kUsage);
    const double ms = number(arg(args, 2, kUsage), kUsage);
    if (!(ms >= 0 && ms <= 600000)) throw std::invalid_argument(kUsage);
    std::fprintf(stderr, "veskosd: sim: holding the GUI thread for %.0f ms\n", ms);
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
    return nlohmann::json::object();
}

nlohmann::json SimMachine::audioCommand(const nlohmann::json& args) {
    static constexpr const char* kUsage =
        "sim audio: level L (0..1, default output) | mute 0|1 | default INDEX | channels L R | "
        "server up|down";
    const std::string verb = arg(args, 1, kUsage);
    const std::string a = arg(args, 2, kUsage);
    audio_.with([&](SimAudioState& s) {
        if (verb == "level") {
            const double v = number(a, kUsage);
            if (!(v >= 0 && v <= 1) || s.endpoints.empty()) throw std::invalid_argument(kUsage);
            s.endpoints[s.defaultIndex].level = static_cast<float>(v);
        } else if (verb == "mute") {
            s.endpoints[s.defaultIndex].muted = number(a, kUsage) != 0;
        } else if (verb == "default") {
            const double v = number(a, kUsage);
            if (!(v >= 0 && v < static_cast<double>(s.endpoints.size()))) {
                throw std::invalid_argument(kUsage);
            }
            s.defaultIndex = static_cast<std::size_t>(v);
        } else if (verb == "channels") {
            const double l = number(a, kUsage), r = number(arg(args, 3, kUsage), kUsage);
            if (!(l >= 0 && l <= 65535 && r >= 0 && r <= 65535)) {
                throw std::invalid_argument(kUsage);
            }
            s.channels[0] = static_cast<uint32_t>(l);
            s.channels[1] = static_cast<uint32_t>(r);
        } else if (verb == "server") {
            if (a != "up" && a != "down") throw std::invalid_argument(kUsage);
            s.serverDown = a == "down";
        } else {
            throw std::invalid_argument(kUsage);
        }
        return 0;
    });
    return nlohmann::json::object();
}

}  // namespace platform::sim
