#include "brightness/wmi_brightness.h"

#include "app/globals.h"
#include "brightness/levels.h"
#include "dispatch/device_events.h"
#include "platform/ports.h"

void SetBrightnessLevel() {
    platform::ports().monitorBrightness->setLevel(static_cast<uint8_t>(iValue.load() & 0xFF));
}

void ThreadFunctionBRITC() {
    const std::unique_ptr<platform::BrightnessNotices> notices =
        platform::ports().monitorBrightness->watch();
    if (!notices) return;
    while (const std::optional<uint8_t> level = notices->next()) {
        dwWmiBrightness = *level;
        base::postMessage(hMainWnd.load(), WM_DEVICE_EVENT, DEVICE_EVENT_WPARAM,
                          LPARAM_BRIT_CHANGED);
    }
}
