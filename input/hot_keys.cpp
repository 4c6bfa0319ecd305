#include "input/hot_keys.h"

#include "app/globals.h"
#include "app/veskosd_dlg.h"
#include "audio/volume.h"
#include "base/thread.h"
#include "dispatch/device_events.h"
#include "osd/osd_window.h"
#include "platform/keysyms.h"
#include "platform/ports.h"
#include "serial/uart.h"

std::atomic<uint32_t> dwLastInputTick{0};

namespace {

constexpr std::size_t kMediaSelectSlot = 5;

platform::InputDevices& devices() {
    return *platform::ports().input;
}

bool controlDown() {
    return devices().keyDown(platform::VK_CONTROL);
}

// Volume ids: tap Control, give way to a transfer in progress, run the operation, then have
// the result shown (OSD model) or sent (controller model).
void volumeAction(int32_t (*operation)(), base::LPARAM code) {
    TapControlKey();
    if (UARTTransferInProgress()) return;
    if (operation() == 0) return;
    if (bOSDModel) base::setEvent(hShowOSDEvent.load());
    postDeviceEvent(code);
    if (bOSDModel) StartOSDFadeOut();
}

void brightnessAction(base::LPARAM code) {
    if (bOSDModel) base::setEvent(hShowOSDEvent.load());
    postDeviceEvent(code);
    if (bOSDModel) StartOSDFadeOut();
}

bool isVolumeKey(uint32_t vk) {
    return vk == platform::VK_VOLUME_MUTE || vk == platform::VK_VOLUME_DOWN ||
           vk == platform::VK_VOLUME_UP;
}

// The slot-5 request of Ctrl+Delete: spin for the lock, and the completion is not reset first.
void requestMediaSelect() {
    SendUARTRequest(kMediaSelectSlot, LockMode::Spin, {}, false);
}

}  // namespace

void MyHotKey(uint32_t id, base::LPARAM) {
    switch (id) {
        case KT_TOGGLE_LCD:
            postDeviceEvent(LPARAM_TOGGLE_LCD);
            break;
        case KT_BRIT_DOWN:
            brightnessAction(LPARAM_DEBR);
            break;
        case KT_BRIT_UP:
            brightnessAction(LPARAM_INBR);
            break;
        case KT_VOL_DOWN:
            volumeAction(VolumeDe, LPARAM_SR_VOL_DOWN_MAKE);
            break;
        case KT_VOL_MUTE:
            volumeAction(VolumeMute, LPARAM_SR_MUTE);
            break;
        case KT_VOL_UP:
            volumeAction(VolumeIn, LPARAM_SR_VOL_UP_MAKE);
            break;
        default:
            break;
    }
}

// Control with the extended-key flag, press then release: the right-hand Control key.
void TapControlKey() {
    const uint32_t key =
        platform::sidedVirtualKey(platform::VK_CONTROL, platform::KEYEVENTF_EXTENDEDKEY);
    devices().injectKey(key, false);
    devices().injectKey(key, true);
}

base::LRESULT InputActivityHookProc(int nCode, base::WPARAM, const void*) {
    if (nCode >= 0) dwLastInputTick = base::getTickCount();
    return 0;
}

base::LRESULT LowLevelKeyboardProc(int nCode, base::WPARAM, const platform::KBDLLHOOKSTRUCT& key) {
    if (nCode < 0) return 0;
    // Presses, repeats and releases alike.
    if (key.vkCode == platform::VK_DELETE && controlDown()) {
        if (!bHIDEnabled) requestMediaSelect();
        return 0;
    }
    if (isVolumeKey(key.vkCode)) {
        TapControlKey();
        return 0;
    }
    return bHIDEnabled ? 0 : 1;
}

base::LRESULT LowLevelMouseProc(int nCode, base::WPARAM, const platform::MSLLHOOKSTRUCT&) {
    return nCode >= 0 && !bHIDEnabled ? 1 : 0;
}

void RegisterVolumeHotKeys() {
    devices().start(
        [](std::function<void()> work) {
            if (base::Window* wnd = hMainWnd.load()) wnd->queue().postTask(std::move(work));
        },
        [](uint32_t id, uint32_t modifiers, uint32_t vk) {
            base::postMessage(hMainWnd.load(), WM_HOTKEY, id,
                              static_cast<base::LPARAM>(modifiers | (vk << 16)));
        });
    devices().registerHotKey(KT_VOL_MUTE, 0, platform::VK_VOLUME_MUTE);
    devices().registerHotKey(KT_VOL_UP, 0, platform::VK_VOLUME_UP);
    devices().registerHotKey(KT_VOL_DOWN, 0, platform::VK_VOLUME_DOWN);
}

void InstallHooks() {
    if (bOSDModel) {
        devices().installHooks(
            [](int c, base::WPARAM w, const platform::KBDLLHOOKSTRUCT& k) {
                return InputActivityHookProc(c, w, &k);
            },
            [](int c, base::WPARAM w, const platform::MSLLHOOKSTRUCT& m) {
                return InputActivityHookProc(c, w, &m);
            });
    } else {
        devices().installHooks(LowLevelKeyboardProc, LowLevelMouseProc);
    }
    UpdateInputBlocking();
}

void UpdateInputBlocking() {
    devices().setBlocking(!bOSDModel && !bHIDEnabled);
}

void registerHotKeyHandler() {
    CVESKOSDDlg::hotKeyBody = [](uint32_t id, uint32_t modifiers, uint32_t vk) {
        MyHotKey(id, static_cast<base::LPARAM>(modifiers | (vk << 16)));
    };
}
