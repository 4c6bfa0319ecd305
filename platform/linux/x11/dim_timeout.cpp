#include "platform/linux/x11/dim_timeout.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace platform::linux_adapter {

uint32_t x11DimTimeoutSeconds(Display* display) {
    if (display == nullptr) return 0;
    int eventBase = 0;
    int errorBase = 0;
    if (DPMSQueryExtension(display, &eventBase, &errorBase) && DPMSCapable(display)) {
        CARD16 powerLevel = 0;
        BOOL enabled = False;
        CARD16 standby = 0;
        CARD16 suspend = 0;
        CARD16 off = 0;
        if (DPMSInfo(display, &powerLevel, &enabled) && enabled &&
            DPMSGetTimeouts(display, &standby, &suspend, &off) && standby != 0) {
            return standby;
        }
    }
    int timeout = 0;
    int interval = 0;
    int preferBlanking = 0;
    int allowExposures = 0;
    XGetScreenSaver(display, &timeout, &interval, &preferBlanking, &allowExposures);
    return timeout > 0 ? static_cast<uint32_t>(timeout) : 0;
}

}  // namespace platform::linux_adapter
