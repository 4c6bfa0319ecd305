#include "platform/linux/alsa/alsa_mixer.h"
#include "platform/linux/module/backend_api.h"

using namespace platform;
using namespace platform::linux_adapter;

VESKOSD_BACKEND(alsa, AlsaBackend,
                []() -> std::unique_ptr<Mixer> { return std::make_unique<AlsaMixer>(); })
