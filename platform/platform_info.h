#pragma once

#include <cstdint>

namespace platform {

class PlatformInfo {
public:
    virtual ~PlatformInfo() = default;
    // 6 and above selects the newer audio and brightness interfaces, 5 and below the legacy ones.
    virtual uint32_t majorVersion() = 0;
    // Seconds without input after which the desktop dims or blanks the display; 0 when it never
    // does or cannot tell.
    virtual uint32_t displayDimTimeoutSeconds() { return 0; }
};

}  // namespace platform
