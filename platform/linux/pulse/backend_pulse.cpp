#include <cstdlib>
#include <cstring>

#include "platform/linux/module/backend_api.h"
#include "platform/linux/pulse/pulse_audio.h"

using namespace platform;
using namespace platform::linux_adapter;

// VESKOSD_PULSE_EVENTS=0 asks the server before every step, as before the events were followed
// (for measuring one against the other, and as a way out should a server's events mislead).
VESKOSD_BACKEND(pulse, PulseBackend, []() -> std::unique_ptr<AudioEndpoints> {
    const char* events = std::getenv("VESKOSD_PULSE_EVENTS");  // NOLINT(concurrency-mt-unsafe)
    return std::make_unique<PulseAudioEndpoints>(true, !events || std::strcmp(events, "0") != 0);
})
