#include "platform/win32/mixer/winmm_mixer.h"

#include <windows.h>

#include <mmsystem.h>

#include <climits>

namespace platform::win32 {

namespace {

HMIXEROBJ object(HMIXER h) {
    return reinterpret_cast<HMIXEROBJ>(h);
}

class WinmmLine final : public SpeakerLine {
public:
    WinmmLine(HMIXER h, const MIXERCONTROLW& volume, const MIXERCONTROLW& mute, DWORD channels)
        : h_(h),
          volume_(volume),
          muteId_(mute.dwControlID),
          channels_(channels),
          min_(static_cast<long>(volume.Bounds.dwMinimum)),
          max_(static_cast<long>(volume.Bounds.dwMaximum)) {}
    ~WinmmLine() override { mixerClose(h_); }
    WinmmLine(const WinmmLine&) = delete;
    WinmmLine& operator=(const WinmmLine&) = delete;

    bool getVolume(uint32_t channels[2]) override {
        DWORD raw[2] = {0, 0};
        if (!readVolume(raw)) return false;
        channels[0] = mixerUnits(static_cast<long>(raw[0]), min_, max_);
        channels[1] = mixerUnits(static_cast<long>(raw[1]), min_, max_);
        return true;
    }

    bool setVolume(uint32_t channels[2], Travel travel) override {
        DWORD now[2] = {0, 0};
        if (!readVolume(now)) return false;
        DWORD raw[2];
        for (int i = 0; i < 2; ++i) {
            raw[i] = static_cast<DWORD>(
                mixerRaw(channels[i], min_, max_, travel, static_cast<long>(now[i])));
        }
        if (!writeVolume(raw)) return false;
        if (channels_ == 1) raw[1] = raw[0];
        // What the driver kept, which may be coarser than what was written; what was written
        // when it cannot say.
        DWORD kept[2] = {0, 0};
        if (readVolume(kept)) {
            raw[0] = kept[0];
            raw[1] = kept[1];
        }
        channels[0] = mixerUnits(static_cast<long>(raw[0]), min_, max_);
        channels[1] = mixerUnits(static_cast<long>(raw[1]), min_, max_);
        return true;
    }

    bool getMute(uint32_t& muted) override {
        MIXERCONTROLDETAILS_BOOLEAN value{};
        MIXERCONTROLDETAILS d = muteDetails(value);
        if (mixerGetControlDetailsW(object(h_), &d,
                                    MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) !=
            MMSYSERR_NOERROR) {
            return false;
        }
        muted = value.fValue != 0 ? 1 : 0;
        return true;
    }

    bool setMute(uint32_t muted) override {
        MIXERCONTROLDETAILS_BOOLEAN value{};
        value.fValue = muted != 0 ? 1 : 0;
        MIXERCONTROLDETAILS d = muteDetails(value);
        return mixerSetControlDetails(object(h_), &d,
                                      MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
               MMSYSERR_NOERROR;
    }

private:
    MIXERCONTROLDETAILS volumeDetails(DWORD raw[2]) const {
        MIXERCONTROLDETAILS d{};
        d.cbStruct = sizeof d;
        d.dwControlID = volume_.dwControlID;
        d.cChannels = channels_;
        d.cMultipleItems = volume_.cMultipleItems;
        d.cbDetails = sizeof(MIXERCONTROLDETAILS_UNSIGNED);
        d.paDetails = raw;
        return d;
    }

    MIXERCONTROLDETAILS muteDetails(MIXERCONTROLDETAILS_BOOLEAN& value) const {
        MIXERCONTROLDETAILS d{};
        d.cbStruct = sizeof d;
        d.dwControlID = muteId_;
        d.cChannels = 1;
        d.cbDetails = sizeof value;
        d.paDetails = &value;
        return d;
    }

    // A control that is one value for all channels is read as one channel; both then hold it.
    bool readVolume(DWORD raw[2]) {
        MIXERCONTROLDETAILS d = volumeDetails(raw);
        if (mixerGetControlDetailsW(object(h_), &d,
                                    MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) !=
            MMSYSERR_NOERROR) {
            return false;
        }
        if (channels_ == 1) raw[1] = raw[0];
        return true;
    }

    bool writeVolume(DWORD raw[2]) {
        MIXERCONTROLDETAILS d = volumeDetails(raw);
        return mixerSetControlDetails(object(h_), &d,
                                      MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
               MMSYSERR_NOERROR;
    }

    HMIXER h_;
    MIXERCONTROLW volume_;
    DWORD muteId_;
    DWORD channels_;
    long min_, max_;
};

// One control of the line by its type; a single description, as the call allows for that.
bool controlOfType(HMIXER h, DWORD lineId, DWORD type, MIXERCONTROLW& control) {
    control = MIXERCONTROLW{};
    control.cbStruct = sizeof control;
    MIXERLINECONTROLSW lc{};
    lc.cbStruct = sizeof lc;
    lc.dwLineID = lineId;
    lc.dwControlType = type;
    lc.cControls = 1;
    lc.cbmxctrl = sizeof control;
    lc.pamxctrl = &control;
    return mixerGetLineControlsW(object(h), &lc,
                                 MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
           MMSYSERR_NOERROR;
}

}  // namespace

uint32_t WinmmMixer::deviceCount() {
    return mixerGetNumDevs();
}

std::unique_ptr<SpeakerLine> WinmmMixer::openSpeakerLine() {
    auto* window = callbackWindow_ ? static_cast<HWND>(callbackWindow_()) : nullptr;
    HMIXER h = nullptr;
    if (mixerOpen(&h, 0, reinterpret_cast<DWORD_PTR>(window), 0,
                  window ? CALLBACK_WINDOW : CALLBACK_NULL) != MMSYSERR_NOERROR) {
        return nullptr;
    }
    MIXERLINEW line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    MIXERCONTROLW volume{};
    MIXERCONTROLW mute{};
    if (mixerGetLineInfoW(object(h), &line,
                          MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
            MMSYSERR_NOERROR ||
        !controlOfType(h, line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, volume) ||
        !controlOfType(h, line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, mute) ||
        volume.Bounds.dwMaximum <= volume.Bounds.dwMinimum ||
        volume.Bounds.dwMaximum > static_cast<DWORD>(LONG_MAX)) {
        mixerClose(h);
        return nullptr;
    }
    const bool uniform = (volume.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) != 0;
    const DWORD channels = uniform || line.cChannels < 2 ? 1 : 2;
    return std::make_unique<WinmmLine>(h, volume, mute, channels);
}

}  // namespace platform::win32
