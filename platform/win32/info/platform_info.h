// The interface generation from the system's own version, unless the command line forces one.
#pragma once

#include "platform/platform_info.h"

namespace platform::win32 {

class WindowsPlatformInfo : public PlatformInfo {
public:
    // 0: ask the system.
    explicit WindowsPlatformInfo(uint32_t forced) : forced_(forced) {}
    uint32_t majorVersion() override;

private:
    uint32_t forced_;
};

}  // namespace platform::win32
