#include "serial/controller_handlers.h"

#include "app/globals.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "serial/uart.h"

std::atomic<int32_t> bQueryBrightnessFirst{0};

namespace {

constexpr std::size_t kSetBrightnessSlot = 0;
constexpr std::size_t kGetBrightnessSlot = 1;
constexpr std::size_t kSetVolumeSlot = 2;
constexpr std::size_t kMuteSlot = 4;
constexpr std::size_t kSourceChangedSlot = 6;
constexpr std::size_t kToggleLcdSlot = 7;

// Reads the controller's level first when asked to, then moves it by one, within 0..100.
void brightnessStep(base::LPARAM code) {
    base::resetEvent(hSendUARTCompleteEvent.load());
    if (bQueryBrightnessFirst.exchange(0)) {
        if (SendUARTRequest(kGetBrightnessSlot, LockMode::TryOnce, {}, false) !=
            RequestResult::Completed) {
            return;
        }
        const Frame reply = UARTResponseBuf.snapshot();
        if (reply[3] != 0x02 || reply[kCodeByte] != 0x01) return;
    }
    SendUARTRequest(
        kSetBrightnessSlot, LockMode::TryOnce,
        [code] {
            const uint8_t v = UARTSetBrightnessBuf.get(kValueByte);
            if (code == LPARAM_DEBR && v > 0) UARTSetBrightnessBuf.set(kValueByte, v - 1);
            if (code == LPARAM_INBR && v < 100) UARTSetBrightnessBuf.set(kValueByte, v + 1);
        },
        false);
}

void onBrightness(base::WPARAM, base::LPARAM code) {
    brightnessStep(code);
}

void onVolume(base::WPARAM, base::LPARAM) {
    SendUARTRequest(kSetVolumeSlot, LockMode::TryOnce, [] {
        UARTSetVolumeBuf.set(kValueByte, static_cast<uint8_t>(VolumeCount.load() & 0xFF));
    });
}

void onMute(base::WPARAM, base::LPARAM) {
    SendUARTRequest(kMuteSlot, LockMode::TryOnce);
}
void onToggleLcd(base::WPARAM, base::LPARAM) {
    SendUARTRequest(kToggleLcdSlot, LockMode::TryOnce);
}
void onSourceChanged(base::WPARAM, base::LPARAM) {
    SendUARTRequest(kSourceChangedSlot, LockMode::TryOnce);
}

}  // namespace

void registerControllerHandlers() {
    using dispatch::kDisplayControllerModel;
    dispatch::registerDeviceEventHandler(LPARAM_DEBR, kDisplayControllerModel, onBrightness);
    dispatch::registerDeviceEventHandler(LPARAM_INBR, kDisplayControllerModel, onBrightness);
    dispatch::registerDeviceEventHandler(LPARAM_SR_VOL_UP_MAKE, kDisplayControllerModel, onVolume);
    dispatch::registerDeviceEventHandler(LPARAM_SR_VOL_DOWN_MAKE, kDisplayControllerModel,
                                         onVolume);
    dispatch::registerDeviceEventHandler(LPARAM_SR_MUTE, kDisplayControllerModel, onMute);
    dispatch::registerDeviceEventHandler(LPARAM_TOGGLE_LCD, kDisplayControllerModel, onToggleLcd);
    dispatch::registerDeviceEventHandler(LPARAM_SOURCE_CHANGED, kDisplayControllerModel,
                                         onSourceChanged);
    registerUARTHandlers();
}
