// Endpoint-style audio on a PulseAudio-compatible server (PulseAudio itself or PipeWire's pulse
// server): sinks and sources as endpoints, the default sink as the default output.
#pragma once

#include <memory>

#include "platform/audio.h"

namespace platform::linux_adapter {

class PulseConnection;

class PulseAudioEndpoints final : public AudioEndpoints {
public:
    // keepConnection: reuse one connection across operations while it stays up, instead of
    // connecting for each one. Either way every operation asks which sink is the default.
    explicit PulseAudioEndpoints(bool keepConnection = true) : keep_(keepConnection) {}
    std::unique_ptr<DeviceEnumerator> open() override;

private:
    bool keep_;
    std::shared_ptr<PulseConnection> kept_;
};

}  // namespace platform::linux_adapter
