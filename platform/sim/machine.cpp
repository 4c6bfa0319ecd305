#include "platform/sim/machine.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "platform/linux/cairo_graphics.h"
#include "platform/linux/instance_lock.h"

namespace platform::sim {

namespace {

class SimInfo final : public PlatformInfo {
public:
    explicit SimInfo(uint32_t version) : version_(version) {}
    uint32_t majorVersion() override { return version_; }

private:
    uint32_t version_;
};

// The box's text goes to stderr; the core keeps the record that status reports.
class SimMessageBox final : public MessageBoxSink {
public:
    void show(const std::string& text, const std::string& caption, uint32_t) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
};

}  // namespace

SimMachine::SimMachine(Options options) : options_(std::move(options)) {}

Ports SimMachine::makePorts() {
    Ports p;
    p.info = std::make_unique<SimInfo>(options_.osVersion);
    p.messageBox = std::make_unique<SimMessageBox>();
    p.audioEndpoints = audio_.makeEndpoints();
    p.mixer = audio_.makeMixer();
    p.graphics = std::make_unique<linux_adapter::CairoGraphics>();
    // The guard is a real one even here, so two simulated instances behave as two real ones.
    p.instanceLock = std::make_unique<linux_adapter::FlockInstanceLock>(options_.runtimeDir);
    return p;
}

nlohmann::json SimMachine::status() const {
    std::lock_guard lock(m_);
    return {
        {"model", options_.model}, {"osVersion", options_.osVersion}, {"audio", audio_.status()}};
}

nlohmann::json SimMachine::command(const nlohmann::json& args) {
    if (!args.is_array() || args.empty() || !args[0].is_string()) {
        throw std::invalid_argument("sim: expected a device and a verb");
    }
    throw std::invalid_argument("sim: no simulated device \"" + args[0].get<std::string>() + "\"");
}

}  // namespace platform::sim
