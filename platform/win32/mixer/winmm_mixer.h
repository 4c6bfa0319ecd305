// Mixer-style audio on the winmm mixer: the speaker destination line of mixer device 0, its
// volume control (its bounds seen as 0..65535 per channel) and its mute control.
#pragma once

#include <functional>

#include "platform/mixer.h"

namespace platform::win32 {

class WinmmMixer final : public Mixer {
public:
    // callbackWindow: the window (an HWND) that the mixer's change notices go to, asked at each
    // open; none while it gives null.
    explicit WinmmMixer(std::function<void*()> callbackWindow = {})
        : callbackWindow_(std::move(callbackWindow)) {}
    uint32_t deviceCount() override;
    std::unique_ptr<SpeakerLine> openSpeakerLine() override;

private:
    std::function<void*()> callbackWindow_;
};

}  // namespace platform::win32
