#include "platform/sim/audio.h"

#include <algorithm>
#include <cstdio>

namespace platform::sim {

namespace {

std::string fmt(const char* what, double v) {
    char b[64];
    std::snprintf(b, sizeof(b), "%s %.6g", what, v);
    return b;
}

class Volume final : public EndpointVolume {
public:
    Volume(SimAudio& audio, std::size_t index) : audio_(audio), index_(index) {}
    bool getMasterVolumeLevelScalar(float& level) override {
        return audio_.with([&](SimAudioState& s) {
            if (s.getLevelFails) return false;
            level = s.endpoints[index_].level;
            return true;
        });
    }
    bool setMasterVolumeLevelScalar(float level) override {
        return audio_.with([&](SimAudioState& s) {
            if (s.setLevelFails) return false;
            s.endpoints[index_].level = std::clamp(level, 0.0f, 1.0f);
            s.calls.push_back(fmt("setLevel", level));
            return true;
        });
    }
    bool getMute(bool& muted) override {
        return audio_.with([&](SimAudioState& s) {
            if (s.getMuteFails) return false;
            muted = s.endpoints[index_].muted;
            return true;
        });
    }
    bool setMute(bool muted) override {
        return audio_.with([&](SimAudioState& s) {
            if (s.setMuteFails) return false;
            s.endpoints[index_].muted = muted;
            s.calls.push_back(fmt("setMute", muted));
            return true;
        });
    }

private:
    SimAudio& audio_;
    std::size_t index_;
};

class Device final : public AudioDevice {
public:
    Device(SimAudio& audio, std::size_t index) : audio_(audio), index_(index) {}
    std::optional<uint32_t> formFactor() override {
        return audio_.with([&](SimAudioState& s) { return s.endpoints[index_].formFactor; });
    }
    std::unique_ptr<EndpointVolume> activate() override {
        const bool fails =
            audio_.with([&](SimAudioState& s) { return s.endpoints[index_].activateFails; });
        if (fails) return nullptr;
        return std::make_unique<Volume>(audio_, index_);
    }

private:
    SimAudio& audio_;
    std::size_t index_;
};

class Enumerator final : public DeviceEnumerator {
public:
    explicit Enumerator(SimAudio& audio) : audio_(audio) {}
    std::unique_ptr<AudioDevice> defaultRenderEndpoint() override {
        const auto index = audio_.with([](SimAudioState& s) -> std::optional<std::size_t> {
            s.calls.push_back("defaultRenderEndpoint");
            if (s.defaultIndex >= s.endpoints.size()) return std::nullopt;
            return s.defaultIndex;
        });
        if (!index) return nullptr;
        return std::make_unique<Device>(audio_, *index);
    }
    std::optional<std::vector<std::unique_ptr<AudioDevice>>> activeEndpoints() override {
        const auto count = audio_.with([](SimAudioState& s) -> std::optional<std::size_t> {
            s.calls.push_back("activeEndpoints");
            if (s.enumerationFails) return std::nullopt;
            return s.endpoints.size();
        });
        if (!count) return std::nullopt;
        std::vector<std::unique_ptr<AudioDevice>> list;
        for (std::size_t i = 0; i < *count; ++i)
            list.push_back(std::make_unique<Device>(audio_, i));
        return list;
    }

private:
    SimAudio& audio_;
};

class Endpoints final : public AudioEndpoints {
public:
    explicit Endpoints(SimAudio& audio) : audio_(audio) {}
    std::unique_ptr<DeviceEnumerator> open() override {
        if (audio_.with([](SimAudioState& s) { return s.serverDown; })) return nullptr;
        return std::make_unique<Enumerator>(audio_);
    }

private:
    SimAudio& audio_;
};

class Line final : public SpeakerLine {
public:
    explicit Line(SimAudio& audio) : audio_(audio) {}
    bool getVolume(uint32_t channels[2]) override {
        return audio_.with([&](SimAudioState& s) {
            if (s.mixerGetFails) return false;
            channels[0] = s.channels[0];
            channels[1] = s.channels[1];
            return true;
        });
    }
    bool setVolume(uint32_t channels[2], Travel travel) override {
        return audio_.with([&](SimAudioState& s) {
            if (s.mixerSetFails) return false;
            s.calls.push_back("setChannels " + std::to_string(channels[0]) + " " +
                              std::to_string(channels[1]));
            for (int i = 0; i < 2; ++i) {
                channels[i] = std::min<uint32_t>(channels[i], 65535);
                if (s.mixerSteps > 0) {
                    const long now = mixerRaw(s.channels[i], 0, s.mixerSteps, Travel::Nearest, 0);
                    channels[i] = mixerUnits(mixerRaw(channels[i], 0, s.mixerSteps, travel, now), 0,
                                             s.mixerSteps);
                }
                s.channels[i] = channels[i];
            }
            return true;
        });
    }
    bool getMute(uint32_t& muted) override {
        return audio_.with([&](SimAudioState& s) {
            if (s.mixerGetFails) return false;
            muted = s.mixerMuted;
            return true;
        });
    }
    bool setMute(uint32_t muted) override {
        return audio_.with([&](SimAudioState& s) {
            if (s.mixerSetFails) return false;
            s.mixerMuted = muted ? 1 : 0;
            s.calls.push_back("setMixerMute " + std::to_string(s.mixerMuted));
            return true;
        });
    }

private:
    SimAudio& audio_;
};

class SimMixer final : public Mixer {
public:
    explicit SimMixer(SimAudio& audio) : audio_(audio) {}
    uint32_t deviceCount() override {
        return audio_.with([](SimAudioState& s) { return s.mixerDevices; });
    }
    std::unique_ptr<SpeakerLine> openSpeakerLine() override {
        if (!audio_.with([](SimAudioState& s) { return s.mixerHasMute; })) return nullptr;
        return std::make_unique<Line>(audio_);
    }

private:
    SimAudio& audio_;
};

}  // namespace

SimAudio::SimAudio() {
    // An all-in-one's usual outputs: its speakers (the default), headphones and S/PDIF.
    state_.endpoints = {{"Speakers", Speakers, true, 0.5f, false, false},
                        {"Headphones", Headphones, true, 0.5f, false, false},
                        {"Digital", SPDIF, true, 0.5f, false, false},
                        {"Microphone", Microphone, false, 0.5f, false, false}};
}

std::unique_ptr<AudioEndpoints> SimAudio::makeEndpoints() {
    return std::make_unique<Endpoints>(*this);
}

std::unique_ptr<Mixer> SimAudio::makeMixer() {
    return std::make_unique<SimMixer>(*this);
}

nlohmann::json SimAudio::status() const {
    std::lock_guard lock(m_);
    nlohmann::json endpoints = nlohmann::json::array();
    for (const auto& e : state_.endpoints) {
        endpoints.push_back({{"name", e.name},
                             {"formFactor", e.formFactor ? nlohmann::json(*e.formFactor) : nullptr},
                             {"level", e.level},
                             {"muted", e.muted}});
    }
    return {
        {"endpoints", endpoints},
        {"default", state_.defaultIndex},
        {"mixer",
         {{"channels", {state_.channels[0], state_.channels[1]}}, {"muted", state_.mixerMuted}}}};
}

}  // namespace platform::sim
