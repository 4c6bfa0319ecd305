// Built with -ffp-contract=off: the single-precision steps below must stay single precision and
// unfused, or levels like 0.57 round to a different percentage.
#include "audio/volume.h"

// Where intermediate results carry more precision than their type (x87), the rounding below would
// depend on the compiler's choices; GCC does not offer standard excess precision for C++.
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
#error "the volume rounding needs float and double evaluated in their own precision"
#endif

#include <algorithm>
#include <cmath>
#include <string>

#include "app/globals.h"
#include "audio/com_init.h"
#include "serial/command_frames.h"

namespace {

constexpr float kStep = 0.01f;
constexpr float kRoundingThreshold = 0.005f;

void setVolumeCountText(int32_t p) {
    szVolumeCount = std::to_string(p);
}

// Percentage read before a step: a changed level means the bar on screen is stale.
void takeReadPercent(int32_t p) {
    if (p != VolumeCount) {
        VolumeCount = p;
        bOSDShowVolume = 0;
    }
}

uint32_t roundDownToStep(uint32_t v) {
    return v - v % kMixerStep;
}

// After a step the shown level is the one read plus or minus one, kept within 0..100.
void countStep(bool up) {
    if (up && VolumeCount < 100) VolumeCount = VolumeCount + 1;
    if (!up && VolumeCount >= 1 && VolumeCount <= 100) VolumeCount = VolumeCount - 1;
}

// The common frame: try the lock once, open, run the body for the path, always close.
template <typename Endpoint, typename Mixer>
int32_t runOperation(Endpoint endpointBody, Mixer mixerBody) {
    if (!VolumeCriticalSection.tryEnter()) return 0;
    if (!COMInit(0)) {
        VolumeCriticalSection.leave();
        return 0;
    }
    const int32_t result = MajorVersion >= 6 ? endpointBody(*EndpointVolume) : mixerBody(*m_hMixer);
    COMUninit();
    VolumeCriticalSection.leave();
    return result;
}

// The unmute that both steps begin with on the endpoint path; the flag stays cleared on failure.
bool unmuteIfFlagged(platform::EndpointVolume& ev) {
    if (!fVolumeMute) return true;
    fVolumeMute = 0;
    return ev.setMute(false);
}

int32_t stepEndpoint(platform::EndpointVolume& ev, bool up) {
    if (!unmuteIfFlagged(ev)) return 0;
    float level = 0.0f;
    if (!ev.getMasterVolumeLevelScalar(level)) return 0;
    const int32_t p = VolumePercent(level);
    const float l2 = static_cast<float>(p) / 100.0f;
    takeReadPercent(p);
    float next;
    if (up) {
        if (!(l2 < 1.0f)) return 1;
        next = l2 + kStep;
        if (!(next < 1.0f)) next = 1.0f;
    } else {
        if (!(l2 <= 1.0f) || !(l2 > 0.0f)) return 1;
        next = l2 - kStep;
        if (!(next > 0.0f)) next = 0.0f;
    }
    if (!ev.setMasterVolumeLevelScalar(next)) return 0;
    countStep(up);
    return 1;
}

int32_t stepMixer(platform::SpeakerLine& line, bool up) {
    uint32_t muted = 0;
    if (!line.getMute(muted)) return 0;
    fVolumeMute = muted ? 1 : 0;
    uint32_t ch[2] = {0, 0};
    if (!line.getVolume(ch)) return 0;
    ch[0] = roundDownToStep(ch[0]);
    ch[1] = roundDownToStep(ch[1]);
    takeReadPercent(static_cast<int32_t>(ch[0] / kMixerStep));
    for (uint32_t& c : ch) {
        if (up && c < kMixerTop) c += kMixerStep;
        if (!up && c > 0) c -= kMixerStep;
    }
    if (!line.setVolume(ch, up ? platform::Travel::Up : platform::Travel::Down)) return 0;
    // What the hardware holds: on a coarse mixer a step moves more than one percent. On a fine
    // one this is the level read plus or minus one.
    VolumeCount = std::min<int32_t>(100, static_cast<int32_t>(roundDownToStep(ch[0]) / kMixerStep));
    return 1;
}

void takeMutePercent(int32_t p) {
    if (p != VolumeCount) {
        VolumeCount = p;
        setVolumeCountText(p);
    }
}

}  // namespace

int32_t VolumePercent(float level) {
    // A level the back end cannot express as a number shows as silence rather than as garbage.
    if (!std::isfinite(level) || level < -1.0f || level > 2.0f) return 0;
    const double l = static_cast<double>(level);
    int32_t p = static_cast<int32_t>(l * 100.0);
    const float rest = static_cast<float>(l - static_cast<double>(p) / 100.0);
    if (rest >= kRoundingThreshold) p = 1 - static_cast<int32_t>(l * -100.0);
    return p;
}

int32_t VolumeMute() {
    return runOperation(
        [](platform::EndpointVolume& ev) -> int32_t {
            float level = 0.0f;
            if (!ev.getMasterVolumeLevelScalar(level)) return 0;
            takeMutePercent(VolumePercent(level));
            bool muted = false;
            if (!ev.getMute(muted)) return 0;
            if (!ev.setMute(!muted)) return 0;
            const uint8_t now = muted ? 0 : 1;
            UARTMuteBuf.set(kValueByte, now);
            fVolumeMute = now;
            return 1;
        },
        [](platform::SpeakerLine& line) -> int32_t {
            uint32_t ch[2] = {0, 0};
            if (!line.getVolume(ch)) return 0;
            takeMutePercent(static_cast<int32_t>(roundDownToStep(ch[0]) / kMixerStep));
            uint32_t muted = 0;
            if (!line.getMute(muted)) return 0;
            muted = muted == 0 ? 1 : 0;
            if (!line.setMute(muted)) return 0;
            fVolumeMute = static_cast<int32_t>(muted);
            return 1;
        });
}

int32_t VolumeIn() {
    return runOperation([](platform::EndpointVolume& ev) { return stepEndpoint(ev, true); },
                        [](platform::SpeakerLine& line) { return stepMixer(line, true); });
}

int32_t VolumeDe() {
    return runOperation([](platform::EndpointVolume& ev) { return stepEndpoint(ev, false); },
                        [](platform::SpeakerLine& line) { return stepMixer(line, false); });
}

void ReadStartingVolume() {
    if (!COMInit(0)) return;
    if (MajorVersion >= 6) {
        bool muted = false;
        float level = 0.0f;
        if (EndpointVolume->getMute(muted)) {
            fVolumeMute = muted ? 1 : 0;
            if (EndpointVolume->getMasterVolumeLevelScalar(level)) {
                VolumeCount = VolumePercent(level);
                setVolumeCountText(VolumeCount);
            }
        }
    } else {
        uint32_t muted = 0;
        uint32_t ch[2] = {0, 0};
        if (m_hMixer->getMute(muted)) {
            fVolumeMute = static_cast<int32_t>(muted);
            if (m_hMixer->getVolume(ch)) {
                VolumeCount = static_cast<int32_t>(ch[0] * 100u / 65535u);
                setVolumeCountText(VolumeCount);
            }
        }
    }
    COMUninit();
}
