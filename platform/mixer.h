// Audio output, mixer style: the speaker line of mixer device 0 with a two-channel volume of
// 0..65535 and a mute control. Every call may fail.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

class SpeakerLine {
public:
    virtual ~SpeakerLine() = default;
    virtual bool getVolume(uint32_t channels[2]) = 0;
    virtual bool setVolume(const uint32_t channels[2]) = 0;
    virtual bool getMute(uint32_t& muted) = 0;
    virtual bool setMute(uint32_t muted) = 0;
};

class Mixer {
public:
    virtual ~Mixer() = default;
    virtual uint32_t deviceCount() = 0;
    // Opens device 0 and finds its speaker line with both controls; null, with nothing left
    // open, when any of that fails.
    virtual std::unique_ptr<SpeakerLine> openSpeakerLine() = 0;
};

}  // namespace platform
