#include "platform/linux/platform_info.h"

namespace platform::linux_adapter {

// libpulse is always linked: the endpoint path, whether or not a server answers yet. Asking
// the server here would fix the mixer path for the whole run when the daemon starts first.
uint32_t LinuxPlatformInfo::majorVersion() {
    return override_ != 0 ? override_ : 6;
}

}  // namespace platform::linux_adapter
