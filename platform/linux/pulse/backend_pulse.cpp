#include "platform/linux/module/backend_api.h"
#include "platform/linux/pulse/pulse_audio.h"

using namespace platform;
using namespace platform::linux_adapter;

extern "C" const PulseBackend* veskosd_backend_pulse() {
    static const PulseBackend table{
        kBackendAbi,
        []() -> std::unique_ptr<AudioEndpoints> { return std::make_unique<PulseAudioEndpoints>(); },
    };
    return &table;
}
