#include "tests/support/pulse_server.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/private_bus.h"
#include "tests/support/process.h"

namespace testsupport {

namespace {

// Each sink's name and properties.
constexpr const char* kSinks[][2] = {
    {"spk", "device.description=\"Speakers\" device.form_factor=speaker"},
    {"spdif", "device.description=\"Digital\" device.profile.name=iec958-stereo"},
    {"hp", "device.description=\"Headphones\" device.form_factor=headphone"},
};

std::string slurp(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Polls until `ok` holds, for up to 10 s.
template <typename Ok>
bool within10s(Ok ok) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ok()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool answers() {
    int status = -1;
    run({"pactl", "info"}, &status);
    return status == 0;
}

}  // namespace

const char* soundServerName(SoundServer kind) {
    return kind == SoundServer::PipeWire ? "pipewire" : "pulseaudio";
}

PulseServer::PulseServer(SoundServer kind) : kind_(kind), dir_(makeTempDir("veskosd-pulse")) {
    if (kind == SoundServer::PipeWire) {
        startPipeWire();
    } else {
        startPulseAudio();
    }
}

void PulseServer::startPulseAudio() {
    address_ = "unix:" + dir_ + "/native";
    {
        std::ofstream pa(dir_ + "/test.pa");
        pa << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << dir_
           << "/native\n";
        for (const auto& [name, props] : kSinks) {
            pa << "load-module module-null-sink sink_name=" << name << " sink_properties='" << props
               << "'\n";
        }
        pa << "set-default-sink spk\n";
    }
    pids_.push_back(spawnBackground(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-F",
         dir_ + "/test.pa", "--log-target=file:" + dir_ + "/pa.log"},
        dir_ + "/pa.out", {"XDG_RUNTIME_DIR=" + dir_, "HOME=" + dir_}));
    setenv("PULSE_SERVER", address_.c_str(), 1);
    if (!within10s(answers)) fail("pulseaudio did not start");
}

// pipewire, then its session manager (which wants a session bus, so a private one), then the
// pulse server; the sinks are loaded as a client would.
void PulseServer::startPipeWire() {
    address_ = "unix:" + dir_ + "/pulse/native";
    bus_ = std::make_unique<PrivateBus>("veskosd-pw-bus", "session");
    const std::vector<std::string> env{
        "XDG_RUNTIME_DIR=" + dir_, "PIPEWIRE_RUNTIME_DIR=" + dir_, "HOME=" + dir_,
        "DBUS_SESSION_BUS_ADDRESS=" + bus_->address(), "XDG_CONFIG_HOME=" + dir_ + "/config"};
    if (!bus_->waitForOwner("org.freedesktop.DBus")) {
        fail("the private D-Bus for PipeWire did not start");
    }
    pids_.push_back(spawnBackground({"pipewire"}, dir_ + "/pipewire.log", env));
    if (!within10s([&] { return std::filesystem::exists(dir_ + "/pipewire-0"); })) {
        fail("pipewire did not start");
    }
    pids_.push_back(spawnBackground({"wireplumber"}, dir_ + "/wireplumber.log", env));
    pids_.push_back(spawnBackground({"pipewire-pulse"}, dir_ + "/pipewire-pulse.log", env));
    setenv("PULSE_SERVER", address_.c_str(), 1);
    if (!within10s(answers)) fail("pipewire-pulse did not answer");
    for (const auto& [name, props] : kSinks) {
        int status = -1;
        run({"pactl", "load-module", "module-null-sink", std::string("sink_name=") + name,
             std::string("sink_properties=") + props},
            &status);
        if (status != 0) fail(std::string("pipewire-pulse did not load the null sink ") + name);
    }
    run({"pactl", "set-default-sink", "spk"});
    try {
        waitForDefaultSink("spk");
    } catch (const std::runtime_error&) {
        fail("PipeWire's session manager did not take up the default sink");
    }
}

void PulseServer::fail(const std::string& what) {
    std::string logs;
    for (const char* log :
         {"pa.log", "pa.out", "pipewire.log", "wireplumber.log", "pipewire-pulse.log"}) {
        const std::string text = slurp(dir_ + "/" + log);
        if (!text.empty()) logs += std::string("--- ") + log + "\n" + text;
    }
    if (bus_) logs += "--- bus.log\n" + bus_->file("bus.log");
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) killAndReap(*it);
    bus_.reset();
    unsetenv("PULSE_SERVER");
    removeTree(dir_);
    throw std::runtime_error(what + "; logs:\n" + logs);
}

PulseServer::~PulseServer() {
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) killAndReap(*it);
    unsetenv("PULSE_SERVER");
    removeTree(dir_);
}

void PulseServer::waitForDefaultSink(const std::string& sink) const {
    const bool ok = within10s([&] {
        std::string out = run({"pactl", "get-default-sink"});
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out == sink;
    });
    if (!ok) throw std::runtime_error("the default sink did not become " + sink);
}

std::string PulseServer::pactl(const std::string& args) const {
    std::vector<std::string> argv{"pactl"};
    std::istringstream in(args);
    std::string word;
    while (in >> word) argv.push_back(word);
    std::string out = run(argv);
    if (argv.size() == 3 && argv[1] == "set-default-sink") waitForDefaultSink(argv[2]);
    return out;
}

int PulseServer::volumePercent(const std::string& sink) const {
    const std::string out = pactl("get-sink-volume " + sink);
    std::smatch m;
    if (!std::regex_search(out, m, std::regex(R"((\d+)%)"))) {
        throw std::runtime_error("no volume for " + sink + ": " + out);
    }
    return std::stoi(m[1]);
}

bool PulseServer::muted(const std::string& sink) const {
    return pactl("get-sink-mute " + sink).find("yes") != std::string::npos;
}

}  // namespace testsupport
