#include "power/power_startup.h"

#include <cstdio>
#include <string>
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

// The files are anyone's to plant who can write the data folder: a value out of range makes one
// as meaningless as a file of the wrong size.
void reportOutOfRange(const std::string& file) {
    std::fprintf(stderr, "veskosd: %s holds a value out of range; it is not put back\n",
                 file.c_str());
}

// -1 is what a run keeps, and writes, for an action the scheme would not tell.
bool isSavedAction(int32_t v) {
    return v >= -1 && v <= kActionShutDown;
}

// The saved actions go back into the scheme (where it can be written), then the file goes.
void restoreButtonActions() {
    std::vector<uint8_t> b;
    platform::StateRead r = platform::readStateFile(szButtonActionFile, kButtonActionFileSize, b);
    if (r == platform::StateRead::NotOpened) return;
    const bool read = r == platform::StateRead::Read;
    const int32_t powerAction = read ? static_cast<int32_t>(base::readLe32(b, 0)) : -1;
    const int32_t sleepAction = read ? static_cast<int32_t>(base::readLe32(b, 4)) : -1;
    if (read && (!isSavedAction(powerAction) || !isSavedAction(sleepAction))) {
        reportOutOfRange(szButtonActionFile);
        r = platform::StateRead::WrongSize;
    }
    // A file of another size holds nothing that could be put back.
    if (r == platform::StateRead::Read) {
        dwPowerButtonAction = powerAction;
        dwSleepButtonAction = sleepAction;
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
    const bool muteState = r == platform::StateRead::Read && base::readLe32(b, 0) <= 1;
    if (r == platform::StateRead::Read && !muteState) reportOutOfRange(szOriginalStateFile);
    if (!muteState) {
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
