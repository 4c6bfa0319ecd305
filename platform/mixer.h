// Audio output, mixer style: the speaker line of mixer device 0 with a two-channel volume of
// 0..65535 and a mute control. Every call may fail.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

namespace platform {

// Which way a volume written to the mixer is heading. A hardware mixer may have fewer steps than
// 1 % (31 or 87 are common), and a 1 % step could then round back to where it started.
enum class Travel { Nearest, Up, Down };

// A hardware range min..max seen as 0..65535 units, to the nearest unit.
inline uint32_t mixerUnits(long raw, long min, long max) {
    if (max <= min) return 0;
    const double x = static_cast<double>(std::clamp(raw, min, max) - min) * 65535.0 /
                     static_cast<double>(max - min);
    return static_cast<uint32_t>(std::lround(x));
}

// The raw value to write for `units` when the hardware is at `current`: the nearest step at or
// above the units (nearest of all for Travel::Nearest), so that the value reads back at or
// above what was written, but at least one step from `current` in the direction of travel, so
// that every step up or down moves the hardware.
inline long mixerRaw(uint32_t units, long min, long max, Travel travel, long current) {
    if (max <= min) return min;
    const double x = static_cast<double>(std::min<uint32_t>(units, 65535)) *
                     static_cast<double>(max - min) / 65535.0;
    long r =
        min + static_cast<long>(travel == Travel::Nearest ? std::round(x) : std::ceil(x - 1e-9));
    if (travel == Travel::Up) r = std::max(r, current + 1);
    if (travel == Travel::Down) r = std::min(r, current - 1);
    return std::clamp(r, min, max);
}

class SpeakerLine {
public:
    virtual ~SpeakerLine() = default;
    virtual bool getVolume(uint32_t channels[2]) = 0;
    // Sets both channels, each rounded to the hardware's steps toward `travel`; on success
    // `channels` holds what the hardware then holds.
    virtual bool setVolume(uint32_t channels[2], Travel travel) = 0;
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
