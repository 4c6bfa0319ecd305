#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform_info.h"

namespace platform::linux_adapter {

class X11Connection;

// 6 (the endpoint path on a PulseAudio-compatible server, which may come later), or the
// non-zero override: 5 selects the ALSA mixer. The dim time-out is the X server's, when there
// is one.
class LinuxPlatformInfo final : public PlatformInfo {
public:
    explicit LinuxPlatformInfo(uint32_t override, std::shared_ptr<X11Connection> x = nullptr)
        : override_(override), x_(std::move(x)) {}
    uint32_t majorVersion() override;
    uint32_t displayDimTimeoutSeconds() override;

private:
    uint32_t override_;
    std::shared_ptr<X11Connection> x_;
};

}  // namespace platform::linux_adapter
