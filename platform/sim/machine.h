// The simulated all-in-one machine: every device lives in this process, driven by the tests and
// by `veskosd sim ...` from another shell.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "base/recent_entries.h"
#include "platform/ports.h"
#include "platform/sim/audio.h"
#include "platform/sim/backlight.h"
#include "platform/sim/display_controller.h"
#include "platform/sim/firmware.h"
#include "platform/sim/launcher.h"
#include "platform/sim/power.h"
#include "platform/sim/sim_hid.h"
#include "platform/sim/sim_input.h"

namespace platform::sim {

struct Options {
    std::string runtimeDir;
    int model = 1;           // what the firmware's model query answers
    uint32_t osVersion = 6;  // what the version query answers
    std::string serialPath;  // empty: the simulated controller's own line
    FirmwareOptions firmware;
    uint32_t dimTimeoutSeconds = 0;             // what the desktop's dim time-out reads
    LaunchArguments launchArguments = nullptr;  // what the real launcher would run
};

class SimMachine {
public:
    explicit SimMachine(Options options);
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    // Ports backed by this machine; it must outlive them.
    Ports makePorts();
    // What the simulated hardware saw, for the status report. Any thread.
    nlohmann::json status() const;
    // `veskosd sim ARGS...`; throws std::invalid_argument for an unknown verb.
    nlohmann::json command(const nlohmann::json& args);

    const Options& options() const { return options_; }
    SimAudio& audio() { return audio_; }
    SimDisplayController& controller() { return controller_; }

private:
    nlohmann::json audioCommand(const nlohmann::json& args);
    nlohmann::json guiCommand(const nlohmann::json& args);

    Options options_;
    SimAudio audio_;
    SimDisplayController controller_;
    // Owned by the ports once made; the machine keeps a pointer for its verbs and status.
    SimInput* input_ = nullptr;
    std::shared_ptr<SimFirmware> firmware_;
    SimLauncher* launcher_ = nullptr;
    SimBacklight* backlight_ = nullptr;
    SimHid* hid_ = nullptr;
    SimPower* power_ = nullptr;
    base::RecentEntries<nlohmann::json> eventLog_;

    mutable std::mutex m_;
};

}  // namespace platform::sim
