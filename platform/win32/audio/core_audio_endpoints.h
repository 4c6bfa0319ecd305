// Endpoint-style audio on Core Audio: a device enumerator made for each operation on the
// calling thread's multithreaded apartment, the default console output or the active endpoints
// with their form factors, and an endpoint's IAudioEndpointVolume. The COM calls are a seam of
// their own (core_audio_calls.h): Wine stubs the master level, so tests stand in there.
#pragma once

#include <memory>

#include "platform/audio.h"

namespace platform::win32 {

namespace coreaudio {
class Calls;
}

class CoreAudioEndpoints final : public AudioEndpoints {
public:
    CoreAudioEndpoints();
    explicit CoreAudioEndpoints(std::shared_ptr<coreaudio::Calls> calls);
    // COM is initialised on the calling thread until the enumerator and everything opened
    // through it are gone, which must happen on that same thread.
    std::unique_ptr<DeviceEnumerator> open() override;

private:
    std::shared_ptr<coreaudio::Calls> calls_;
};

}  // namespace platform::win32
