#include "power/power_startup.h"

#include <utility>
#include <vector>

#include "app/globals.h"
#include "audio/com_init.h"
#include "base/little_endian.h"
#include "platform/ports.h"
#include "platform/state_files.h"
#include "power/power_handling.h"
#include "power/power_setting.h"

namespace {

platform::Power& power() {
    return *platform::ports().power;
}

void deliver(platform::PowerNotice notice) {
    base::Window* wnd = hMainWnd.load();
    if (notice.kind == platform::PowerNotice::Kind::SessionEnd) {
        if (!wnd) {
            if (notice.handled) notice.handled();
            return;
        }
        wnd->queue().postTask([wnd, handled = std::move(notice.handled)] {
            wnd->WindowProc(WM_QUERYENDSESSION, 0, 0);
            wnd->WindowProc(WM_ENDSESSION, 1, 0);
            if (handled) handled();
        });
        return;
    }
    const int64_t id =
        storePowerSettingRecord(makePowerSettingRecord(settingGuid(notice.setting), notice.data));
    if (!base::postMessage(wnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, id)) {
        takePowerSettingRecord(id);
    }
}

// The saved actions go back into the scheme (where it can be written), then the file goes.
void restoreButtonActions() {
    std::vector<uint8_t> b;
    const platform::StateRead r =
        platform::readStateFile(szButtonActionFile, kButtonActionFileSize, b);
    if (r == platform::StateRead::NotOpened) return;
    // A file of another size holds nothing that could be put back.
    if (r == platform::StateRead::Read) {
        dwPowerButtonAction = static_cast<int32_t>(base::readLe32(b, 0));
        dwSleepButtonAction = static_cast<int32_t>(base::readLe32(b, 4));
        power().writeButtonAction(pActivePowerScheme, platform::PowerButton::Power,
                                  dwPowerButtonAction);
        power().writeButtonAction(pActivePowerScheme, platform::PowerButton::Sleep,
                                  dwSleepButtonAction);
        power().activateScheme(pActivePowerScheme);
    }
    dwPowerButtonAction = -1;
    dwSleepButtonAction = -1;
    platform::removeStateFile(szButtonActionFile);
}

void restoreOriginalState() {
    std::vector<uint8_t> b;
    const platform::StateRead r =
        platform::readStateFile(szOriginalStateFile, kOriginalStateFileSize, b);
    if (r == platform::StateRead::NotOpened) return;
    if (r == platform::StateRead::WrongSize) {
        platform::removeStateFile(szOriginalStateFile);
        return;
    }
    fOriginalState = static_cast<int32_t>(base::readLe32(b, 0));
    if (!COMInit(1)) return;
    // The mixer path has no endpoint: the file stays for a start that has one.
    const bool haveEndpoint = EndpointVolume != nullptr;
    if (haveEndpoint) EndpointVolume->setMute(fOriginalState != 0);
    COMUninit();
    if (haveEndpoint) platform::removeStateFile(szOriginalStateFile);
}

}  // namespace

void StartPowerNotices() {
    power().start(deliver);
}

uintptr_t RegisterPowerSettingNotification(platform::PowerSetting setting) {
    // Version 5 has no such notices: its brightness is restored at start (through the firmware),
    // and a monitor answer would put it back to the default straight after.
    if (MajorVersion < 6) return 0;
    return power().registerPowerSetting(setting);
}

void ReadActivePowerScheme() {
    if (auto scheme = power().activeScheme()) pActivePowerScheme = *scheme;
}

void RestoreBlockedHidState() {
    restoreButtonActions();
    restoreOriginalState();
}
