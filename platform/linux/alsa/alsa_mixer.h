// Mixer-style audio through ALSA's simple mixer: the "Master" playback control of a device
// (the default device unless told otherwise), its range rescaled to 0..65535 per channel.
#pragma once

#include <string>

#include "platform/mixer.h"

namespace platform::linux_adapter {

class AlsaMixer final : public Mixer {
public:
    explicit AlsaMixer(std::string device = "default") : device_(std::move(device)) {}
    uint32_t deviceCount() override;
    std::unique_ptr<SpeakerLine> openSpeakerLine() override;

private:
    std::string device_;
};

}  // namespace platform::linux_adapter
