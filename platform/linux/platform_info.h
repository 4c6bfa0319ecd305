#pragma once

#include <cstdint>

#include "platform/platform_info.h"

namespace platform::linux_adapter {

// 6 when a PulseAudio-compatible server answers, else 5; a non-zero override wins.
class LinuxPlatformInfo final : public PlatformInfo {
public:
    explicit LinuxPlatformInfo(uint32_t override) : override_(override) {}
    uint32_t majorVersion() override;

private:
    uint32_t override_;
};

}  // namespace platform::linux_adapter
