#include "power/power_handling.h"

#include <array>
#include <thread>

#include "app/globals.h"
#include "audio/com_init.h"
#include "base/little_endian.h"
#include "brightness/state_file.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"
#include "input/hot_keys.h"
#include "platform/ports.h"
#include "platform/state_files.h"
#include "power/power_setting.h"
#include "serial/uart.h"

namespace {

constexpr std::size_t kMediaSelectSlot = 5;
// The files are the program's own: nobody else needs to read them.
constexpr uint32_t kStateFileMode = 0600;

platform::Power& power() {
    return *platform::ports().power;
}

void requestMediaSelect(bool resetCompletion = true) {
    SendUARTRequest(kMediaSelectSlot, LockMode::Spin, {}, resetCompletion);
}

// Never a blocking wait: the volume operations only try the section once and give up.
void enterVolumeSection() {
    while (!VolumeCriticalSection.tryEnter()) std::this_thread::yield();
}

void writeButtonActions() {
    std::array<uint8_t, kButtonActionFileSize> b{};
    base::writeLe32(b, 0, static_cast<uint32_t>(dwPowerButtonAction.load()));
    base::writeLe32(b, 4, static_cast<uint32_t>(dwSleepButtonAction.load()));
    platform::writeStateFile(szButtonActionFile, b, kStateFileMode);
}

void writeOriginalState() {
    std::array<uint8_t, kOriginalStateFileSize> b{};
    base::writeLe32(b, 0, static_cast<uint32_t>(fOriginalState.load()));
    platform::writeStateFile(szOriginalStateFile, b, kStateFileMode);
}

void writeSchemeActions(int32_t powerAction, int32_t sleepAction) {
    power().writeButtonAction(pActivePowerScheme, platform::PowerButton::Power, powerAction);
    power().writeButtonAction(pActivePowerScheme, platform::PowerButton::Sleep, sleepAction);
    power().activateScheme(pActivePowerScheme);
}

void disableHid() {
    power().setExecutionState(platform::ES_CONTINUOUS | platform::ES_SYSTEM_REQUIRED |
                              platform::ES_DISPLAY_REQUIRED);
    if (dwPowerButtonAction == -1 && dwSleepButtonAction == -1) {
        // A failed read leaves the value as it was.
        if (auto v = power().readButtonAction(pActivePowerScheme, platform::PowerButton::Power)) {
            dwPowerButtonAction = *v;
        }
        if (auto v = power().readButtonAction(pActivePowerScheme, platform::PowerButton::Sleep)) {
            dwSleepButtonAction = *v;
        }
    }
    writeSchemeActions(kActionShutDown, kActionNothing);

    enterVolumeSection();
    if (COMInit(1)) {
        // The mixer path has no endpoint: its mute state is left alone.
        if (EndpointVolume) {
            bool muted = false;
            if (EndpointVolume->getMute(muted)) fOriginalState = muted ? 1 : 0;
            EndpointVolume->setMute(false);
        }
        COMUninit();
    }
    VolumeCriticalSection.leave();

    bHIDEnabled = 0;
    UpdateInputBlocking();
    writeButtonActions();
    writeOriginalState();
}

void carryOutHeldBackAction() {
    if (bShutdownPending) {
        switch (dwPowerButtonAction.load()) {
            case kActionSleep:
                power().suspend(false);
                break;
            case kActionHibernate:
                power().suspend(true);
                break;
            case kActionShutDown:
                power().enableShutdownPrivilege();
                power().powerOff();
                break;
            default:
                break;
        }
    } else if (bSleepPending) {
        // A sleep key never shuts down, whatever its saved action says.
        const int32_t action = dwSleepButtonAction.load();
        if (action == kActionSleep || action == kActionHibernate) {
            power().suspend(action == kActionHibernate);
        }
    }
}

void enableHid() {
    enterVolumeSection();
    if (COMInit(1)) {
        // Without an endpoint the saved state stays in its file for a later start.
        if (EndpointVolume) {
            EndpointVolume->setMute(fOriginalState != 0);
            COMUninit();
            platform::removeStateFile(szOriginalStateFile);
        } else {
            COMUninit();
        }
    }
    VolumeCriticalSection.leave();

    power().setExecutionState(platform::ES_CONTINUOUS);
    writeSchemeActions(dwPowerButtonAction, dwSleepButtonAction);
    carryOutHeldBackAction();

    dwPowerButtonAction = -1;
    dwSleepButtonAction = -1;
    bHIDEnabled = 1;
    bShutdownPending = 0;
    bSleepPending = 0;
    UpdateInputBlocking();
    platform::removeStateFile(szButtonActionFile);
}

void onQueryEndSessionOsd(base::WPARAM, base::LPARAM) {
    SaveBrightnessState();
}

void onQueryEndSessionController(base::WPARAM, base::LPARAM) {
    if (bHIDEnabled) return;
    power().cancelShutdown();
    bShutdownPending = 1;
    requestMediaSelect(false);
}

void onPowerBroadcast(base::WPARAM wParam, base::LPARAM lParam) {
    if (wParam != PBT_POWERSETTINGCHANGE) return;
    // Only records this process stored are read; a number posted from outside names none.
    const auto record = takePowerSettingRecord(lParam);
    if (!record) return;
    const auto change = readPowerSettingRecord(*record);
    if (!change) return;
    if (change->PowerSetting == GUID_MONITOR_POWER_ON) {
        if (change->Data == 0) {
            SaveBrightnessState();
        } else if (change->Data == 1) {
            RestoreBrightnessState();
        }
    } else if (change->PowerSetting == GUID_POWERSCHEME_PERSONALITY) {
        if (auto scheme = power().activeScheme()) pActivePowerScheme = *scheme;
    }
}

// The display-controller model ignores the notice; its record is only let go.
void dropPowerBroadcast(base::WPARAM wParam, base::LPARAM lParam) {
    if (wParam == PBT_POWERSETTINGCHANGE) takePowerSettingRecord(lParam);
}

void onMediaSelect(base::WPARAM, base::LPARAM) {
    if (!bHIDEnabled) requestMediaSelect();
}

void onEnableHid(base::WPARAM, base::LPARAM) {
    if (!bShutdownPending && !bSleepPending) requestMediaSelect();
    SetHIDEnabled(1);
}

void onSleepSelect(base::WPARAM, base::LPARAM) {
    base::resetEvent(hSendUARTCompleteEvent.load());
    if (bHIDEnabled == 1) return;
    bSleepPending = 1;
    requestMediaSelect();
}

}  // namespace

void SetHIDEnabled(int32_t bEnable) {
    if (!power().schemeFunctionsAvailable()) return;
    if (!bEnable) {
        if (bHIDEnabled == 1) disableHid();
    } else if (bHIDEnabled == 0) {
        enableHid();
    }
}

int32_t ShutdownSystem() {
    if (!power().enableShutdownPrivilege()) return 0;
    if (!power().shutdown()) return 0;
    power().disableShutdownPrivilege();
    return 1;
}

void registerPowerHandlers() {
    using dispatch::kDisplayControllerModel;
    using dispatch::kOsdModel;
    dispatch::registerDeviceEventHandler(LPARAM_MEDIA_SELECT, kDisplayControllerModel,
                                         onMediaSelect);
    dispatch::registerDeviceEventHandler(LPARAM_DISABLE_HID, kDisplayControllerModel,
                                         [](base::WPARAM, base::LPARAM) { SetHIDEnabled(0); });
    dispatch::registerDeviceEventHandler(LPARAM_ENABLE_HID, kDisplayControllerModel, onEnableHid);
    dispatch::registerDeviceEventHandler(LPARAM_SLEEP_SELECT, kDisplayControllerModel,
                                         onSleepSelect);
    dispatch::registerDeviceEventHandlerBothModels(
        LPARAM_SYSTEM_SHUTDOWN, [](base::WPARAM, base::LPARAM) { ShutdownSystem(); });
    dispatch::registerMessageHandler(WM_QUERYENDSESSION, kOsdModel, onQueryEndSessionOsd);
    dispatch::registerMessageHandler(WM_QUERYENDSESSION, kDisplayControllerModel,
                                     onQueryEndSessionController);
    dispatch::registerMessageHandler(WM_CLOSE, kOsdModel, onQueryEndSessionOsd);
    dispatch::registerMessageHandler(WM_POWERBROADCAST, kOsdModel, onPowerBroadcast);
    dispatch::registerMessageHandler(WM_POWERBROADCAST, kDisplayControllerModel,
                                     dropPowerBroadcast);
}
