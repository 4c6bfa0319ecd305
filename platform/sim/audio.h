// Simulated sound hardware: a list of endpoints (one of them the default output) and a mixer
// line, with switches to make any call fail.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/audio.h"
#include "platform/mixer.h"

namespace platform::sim {

struct SimEndpoint {
    std::string name;
    std::optional<uint32_t> formFactor;  // nullopt: unreadable
    bool render = true;
    float level = 0.5f;
    bool muted = false;
    bool activateFails = false;
};

struct SimAudioState {
    std::vector<SimEndpoint> endpoints;
    std::size_t defaultIndex = 0;
    bool serverDown = false;  // open() fails
    bool enumerationFails = false;
    bool getLevelFails = false;
    bool setLevelFails = false;
    bool getMuteFails = false;
    bool setMuteFails = false;
    // Mixer
    uint32_t mixerDevices = 1;
    bool mixerHasMute = true;
    uint32_t channels[2] = {32767, 32767};  // in units, as the hardware holds them
    long mixerSteps = 0;  // 0: as fine as the units; else a mixer of 0..mixerSteps
    uint32_t mixerMuted = 0;
    bool mixerGetFails = false;
    bool mixerSetFails = false;
    // Calls that reached the hardware, for tests: "setLevel 0.58", "setMute 1", ...
    std::vector<std::string> calls;
};

class SimAudio {
public:
    SimAudio();
    std::unique_ptr<AudioEndpoints> makeEndpoints();
    std::unique_ptr<Mixer> makeMixer();

    // Runs `f` on the state under the machine's lock.
    template <typename F>
    auto with(F f) {
        std::lock_guard lock(m_);
        return f(state_);
    }
    nlohmann::json status() const;

private:
    mutable std::mutex m_;
    SimAudioState state_;
};

}  // namespace platform::sim
