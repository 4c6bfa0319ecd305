#pragma once

#include <cstdint>

#include "platform/platform_info.h"

namespace platform::linux_adapter {

// 6 (the endpoint path on a PulseAudio-compatible server, which may come later), or the
// non-zero override: 5 selects the ALSA mixer.
class LinuxPlatformInfo final : public PlatformInfo {
public:
    explicit LinuxPlatformInfo(uint32_t override) : override_(override) {}
    uint32_t majorVersion() override;

private:
    uint32_t override_;
};

}  // namespace platform::linux_adapter
