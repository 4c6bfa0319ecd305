#include "platform/linux/x11/platform_info.h"

#include "platform/linux/x11/dim_timeout.h"
#include "platform/linux/x11/x11_connection.h"

namespace platform::linux_adapter {

// libpulse is always linked: the endpoint path, whether or not a server answers yet. Asking
// the server here would fix the mixer path for the whole run when the daemon starts first.
uint32_t LinuxPlatformInfo::majorVersion() {
    return override_ != 0 ? override_ : 6;
}

uint32_t LinuxPlatformInfo::displayDimTimeoutSeconds() {
    if (!x_) return 0;
    const X11Connection::Session s = x_->session();
    return s ? x11DimTimeoutSeconds(s.display()) : 0;
}

}  // namespace platform::linux_adapter
