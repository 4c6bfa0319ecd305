#include "platform/linux/alsa/alsa_mixer.h"
#include "platform/linux/module/backend_api.h"

using namespace platform;
using namespace platform::linux_adapter;

extern "C" const AlsaBackend* veskosd_backend_alsa() {
    static const AlsaBackend table{
        kBackendAbi,
        []() -> std::unique_ptr<Mixer> { return std::make_unique<AlsaMixer>(); },
    };
    return &table;
}
