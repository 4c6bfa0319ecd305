#include "platform/linux/module/backend_api.h"
#include "platform/linux/pulse/pulse_audio.h"

using namespace platform;
using namespace platform::linux_adapter;

VESKOSD_BACKEND(pulse, PulseBackend, []() -> std::unique_ptr<AudioEndpoints> {
    return std::make_unique<PulseAudioEndpoints>();
})
