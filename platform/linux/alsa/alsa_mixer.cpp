#include "platform/linux/alsa/alsa_mixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>

namespace platform::linux_adapter {

namespace {

class AlsaLine final : public SpeakerLine {
public:
    AlsaLine(snd_mixer_t* mixer, snd_mixer_elem_t* elem, long min, long max)
        : mixer_(mixer), elem_(elem), min_(min), max_(max) {}
    ~AlsaLine() override { snd_mixer_close(mixer_); }

    bool getVolume(uint32_t channels[2]) override {
        snd_mixer_handle_events(mixer_);
        long left = 0, right = 0;
        if (snd_mixer_selem_get_playback_volume(elem_, SND_MIXER_SCHN_FRONT_LEFT, &left) < 0) {
            return false;
        }
        if (mono() ||
            snd_mixer_selem_get_playback_volume(elem_, SND_MIXER_SCHN_FRONT_RIGHT, &right) < 0) {
            right = left;
        }
        channels[0] = toUnits(left);
        channels[1] = toUnits(right);
        return true;
    }

    bool setVolume(uint32_t channels[2], Travel travel) override {
        snd_mixer_handle_events(mixer_);
        long now[2] = {min_, min_};
        if (snd_mixer_selem_get_playback_volume(elem_, SND_MIXER_SCHN_FRONT_LEFT, &now[0]) < 0) {
            return false;
        }
        if (mono() ||
            snd_mixer_selem_get_playback_volume(elem_, SND_MIXER_SCHN_FRONT_RIGHT, &now[1]) < 0) {
            now[1] = now[0];
        }
        const long left = mixerRaw(channels[0], min_, max_, travel, now[0]);
        const long right = mono() ? left : mixerRaw(channels[1], min_, max_, travel, now[1]);
        if (mono()) {
            if (snd_mixer_selem_set_playback_volume_all(elem_, left) != 0) return false;
        } else if (snd_mixer_selem_set_playback_volume(elem_, SND_MIXER_SCHN_FRONT_LEFT, left) !=
                       0 ||
                   snd_mixer_selem_set_playback_volume(elem_, SND_MIXER_SCHN_FRONT_RIGHT, right) !=
                       0) {
            return false;
        }
        channels[0] = toUnits(left);
        channels[1] = toUnits(right);
        return true;
    }

    // Muted is the playback switch turned off.
    bool getMute(uint32_t& muted) override {
        snd_mixer_handle_events(mixer_);
        int on = 1;
        if (snd_mixer_selem_get_playback_switch(elem_, SND_MIXER_SCHN_FRONT_LEFT, &on) < 0) {
            return false;
        }
        muted = on ? 0 : 1;
        return true;
    }

    bool setMute(uint32_t muted) override {
        return snd_mixer_selem_set_playback_switch_all(elem_, muted ? 0 : 1) == 0;
    }

private:
    bool mono() const { return snd_mixer_selem_is_playback_mono(elem_) != 0; }

    uint32_t toUnits(long v) const { return mixerUnits(v, min_, max_); }

    snd_mixer_t* mixer_;
    snd_mixer_elem_t* elem_;
    long min_, max_;
};

}  // namespace

uint32_t AlsaMixer::deviceCount() {
    snd_ctl_t* ctl = nullptr;
    if (snd_ctl_open(&ctl, device_.c_str(), SND_CTL_NONBLOCK) < 0) return 0;
    snd_ctl_close(ctl);
    return 1;
}

std::unique_ptr<SpeakerLine> AlsaMixer::openSpeakerLine() {
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0) return nullptr;
    snd_mixer_selem_id_t* sid = nullptr;
    snd_mixer_selem_id_alloca(&sid);
    snd_mixer_selem_id_set_name(sid, "Master");
    snd_mixer_selem_id_set_index(sid, 0);
    snd_mixer_elem_t* elem = nullptr;
    long min = 0, max = 0;
    if (snd_mixer_attach(mixer, device_.c_str()) < 0 ||
        snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 || snd_mixer_load(mixer) < 0 ||
        !(elem = snd_mixer_find_selem(mixer, sid)) || !snd_mixer_selem_has_playback_volume(elem) ||
        !snd_mixer_selem_has_playback_switch(elem) ||
        snd_mixer_selem_get_playback_volume_range(elem, &min, &max) < 0 || max <= min) {
        snd_mixer_close(mixer);
        return nullptr;
    }
    return std::make_unique<AlsaLine>(mixer, elem, min, max);
}

}  // namespace platform::linux_adapter
