#include "platform/linux/platform_info.h"

#include "platform/linux/pulse_audio.h"

namespace platform::linux_adapter {

uint32_t LinuxPlatformInfo::majorVersion() {
    if (override_ != 0) return override_;
    return pulseServerAnswers() ? 6 : 5;
}

}  // namespace platform::linux_adapter
