#include "app/globals.h"
#include "base/os.h"
#include "base/thread.h"
#include "osd/osd_window.h"
#include "platform/ports.h"

std::atomic<base::Event*> hShowOSDEvent{nullptr};
std::atomic<base::Event*> hFadeOutOSDEvent{nullptr};

void StartOSDFadeOut() {
    base::resetEvent(hShowOSDEvent.load());
    base::setEvent(hFadeOutOSDEvent.load());
}

void ThreadFOFunction() {
    base::Event* const show = hShowOSDEvent.load();
    base::Event* const fadeOut = hFadeOutOSDEvent.load();
    for (;;) {
        if (base::waitForSingleObject(fadeOut, base::kInfinite) != base::kWaitObject0) return;
        // A new show within the hold cancels the fade altogether.
        if (base::waitForSingleObject(show, kFadeHoldMs) == base::kWaitObject0) continue;
        bool faded = true;
        for (int alpha = kFadeStartAlpha; alpha >= 0; alpha -= kFadeStep) {
            platform::ports().osdSurface->setAlpha(static_cast<uint8_t>(alpha));
            // A show during the fade leaves the alpha where it is; ShowOSD restores it.
            if (alpha != 0 && base::waitForSingleObject(show, kFadeStepMs) == base::kWaitObject0) {
                faded = false;
                break;
            }
        }
        // Nothing is painted until the next key: what the paints freed goes back to the system.
        if (faded) base::os::giveBackFreedMemory();
    }
}

void CreateOsdEvents() {
    hShowOSDEvent = base::createEvent(false, false, "SHOWOSD EVENT");
    hFadeOutOSDEvent = base::createEvent(false, false, "FADEOUTOSD EVENT");
}

void StartOsdFadeThread() {
    base::startThread("ThreadFO", ThreadFOFunction);
}
