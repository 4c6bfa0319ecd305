#include "input/raw_input.h"

#include "app/globals.h"
#include "app/status.h"
#include "base/thread.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "osd/osd_window.h"
#include "platform/ports.h"
#include "serial/command_frames.h"
#include "serial/controller_handlers.h"

std::atomic<int32_t> dwHIDKeyHeld{0};
std::atomic<int32_t> bHIDBrightnessActive{1};
std::atomic<int32_t> bPanelOn{1};

std::atomic<base::Event*> hBritUpMakeEvent{nullptr};
std::atomic<base::Event*> hBritUpBreakEvent{nullptr};
std::atomic<base::Event*> hBritDownMakeEvent{nullptr};
std::atomic<base::Event*> hBritDownBreakEvent{nullptr};

namespace {

constexpr uint8_t kKeyReport = 0x08;
constexpr uint8_t kSelectReport = 0x01;
constexpr uint8_t kMediaSelectUsage = 0x0D;
constexpr uint8_t kSourceSelectUsage = 0x35;
constexpr uint8_t kSleepSelectUsage = 0x0C;
constexpr int32_t kPanelKeyHeld = 16;

void post(base::LPARAM code) {
    base::postMessage(hMainWnd.load(), WM_DEVICE_EVENT, DEVICE_EVENT_WPARAM, code);
}

// Both break events end whatever repeat runs; the one not repeating stays set until the next
// press from idle resets it.
void keysUp() {
    base::resetEvent(hBritDownMakeEvent.load());
    base::resetEvent(hBritUpMakeEvent.load());
    base::setEvent(hBritDownBreakEvent.load());
    base::setEvent(hBritUpBreakEvent.load());
}

void brightnessKey(int32_t held, int32_t other, const std::atomic<base::Event*>& ownBreak,
                   const std::atomic<base::Event*>& otherBreak,
                   const std::atomic<base::Event*>& ownMake) {
    if (dwHIDKeyHeld.load() == 0) {
        base::resetEvent(ownBreak.load());
        bQueryBrightnessFirst = 1;
    } else if (dwHIDKeyHeld.load() == other) {
        base::setEvent(otherBreak.load());
        // The last key-up also set this key's break, and nothing has cleared it since: left
        // set, it would end this key's repeat before it began.
        base::resetEvent(ownBreak.load());
    }
    dwHIDKeyHeld = held;
    bHIDBrightnessActive = 1;
    base::setEvent(ownMake.load());
}

void keyReport(uint8_t code) {
    switch (code) {
        case 0:
            keysUp();
            if (bHIDBrightnessActive.load() && bOSDModel.load()) StartOSDFadeOut();
            dwHIDKeyHeld = 0;
            break;
        case 1: {
            keysUp();
            const int32_t held = dwHIDKeyHeld.load();
            if ((held == LPARAM_DEBR || held == LPARAM_INBR) && bOSDModel.load()) {
                StartOSDFadeOut();
            }
            bHIDBrightnessActive = 0;
            dwHIDKeyHeld = 0;
            break;
        }
        case 2:
            if (dwHIDKeyHeld.load() != 0) return;
            dwHIDKeyHeld = kPanelKeyHeld;
            bHIDBrightnessActive = 0;
            if (!bOSDModel.load()) {
                bPanelOn = bPanelOn.load() ? 0 : 1;
                UARTToggleLCDBuf.set(kValueByte, static_cast<uint8_t>(bPanelOn.load()));
            }
            post(LPARAM_TOGGLE_LCD);
            break;
        case 3:
            brightnessKey(LPARAM_DEBR, LPARAM_INBR, hBritDownBreakEvent, hBritUpBreakEvent,
                          hBritDownMakeEvent);
            break;
        case 4:
            brightnessKey(LPARAM_INBR, LPARAM_DEBR, hBritUpBreakEvent, hBritDownBreakEvent,
                          hBritUpMakeEvent);
            break;
        default:
            break;
    }
}

void selectReport(uint8_t usage5, uint8_t usage9) {
    auto is = [&](uint8_t usage) { return usage5 == usage || (usage5 == 0 && usage9 == usage); };
    if (is(kMediaSelectUsage)) {
        post(LPARAM_MEDIA_SELECT);
    } else if (is(kSourceSelectUsage)) {
        post(LPARAM_SOURCE_CHANGED);
    } else if (is(kSleepSelectUsage)) {
        post(LPARAM_SLEEP_SELECT);
    }
}

void repeatThread(const std::atomic<base::Event*>& make, const std::atomic<base::Event*>& release,
                  base::LPARAM code) {
    const bool osd = bOSDModel.load() != 0;
    const uint32_t interval = osd ? kOsdBrightnessRepeatMs : kControllerBrightnessRepeatMs;
    auto postStep = [&] {
        if (osd) base::setEvent(hShowOSDEvent.load());
        post(code);
    };
    for (;;) {
        // A wait that fails would fail again at once: end rather than spin.
        if (base::waitForSingleObject(make.load(), base::kInfinite) != base::kWaitObject0) return;
        postStep();
        uint32_t r = base::waitForSingleObject(release.load(), kBrightnessFirstRepeatMs);
        while (r != base::kWaitObject0) {
            if (r != base::kWaitTimeout) return;
            postStep();
            r = base::waitForSingleObject(release.load(), interval);
        }
    }
}

}  // namespace

void RegisterRawInputDevices() {
    base::Window* wnd = hMainWnd.load();
    platform::RawInput& input = *platform::ports().rawInput;
    input.registerDevice(0xFF01, 0x0004, platform::RIDEV_INPUTSINK, wnd);
    input.registerDevice(0x0009, 0x0001, platform::RIDEV_INPUTSINK, wnd);
    input.registerDevice(0xFFBC, 0x0089, platform::RIDEV_INPUTSINK, wnd);
}

void OnRawInput(base::LPARAM hRawInput) {
    const std::optional<platform::RawInputRecord> record =
        platform::ports().rawInput->getRawInputData(hRawInput);
    if (!record || record->type != platform::RIM_TYPEHID) return;
    const std::vector<uint8_t>& report = record->report;
    // A report shorter than its layout is ignored whole.
    if (report.size() >= 2 && report[0] == kKeyReport) {
        keyReport(report[1]);
    } else if (report.size() >= 10 && report[0] == kSelectReport) {
        selectReport(report[5], report[9]);
    }
}

void CreateBrightnessKeyEvents() {
    hBritUpMakeEvent = base::createEvent(false, false, "BRIT_UP_MAKE EVENT");
    hBritUpBreakEvent = base::createEvent(false, false, "BRIT_UP_BREAK EVENT");
    hBritDownMakeEvent = base::createEvent(false, false, "BRIT_DOWN_MAKE EVENT");
    hBritDownBreakEvent = base::createEvent(false, false, "BRIT_DOWN_BREAK EVENT");
}

void ThreadBDFunction() {
    repeatThread(hBritDownMakeEvent, hBritDownBreakEvent, LPARAM_DEBR);
}

void ThreadBUFunction() {
    repeatThread(hBritUpMakeEvent, hBritUpBreakEvent, LPARAM_INBR);
}

void registerRawInputHandler() {
    registerStatusSection("dwHIDKeyHeld", [] { return dwHIDKeyHeld.load(); });
    registerStatusSection("bHIDBrightnessActive", [] { return bHIDBrightnessActive.load(); });
    registerStatusSection("bPanelOn", [] { return bPanelOn.load(); });
    dispatch::registerMessageHandlerBothModels(
        WM_INPUT, [](base::WPARAM, base::LPARAM lParam) { OnRawInput(lParam); });
}

void resetRawInputState() {
    dwHIDKeyHeld = 0;
    bHIDBrightnessActive = 1;
    bPanelOn = 1;
}
