#include "app/status.h"

#include <map>

#include "app/globals.h"
#include "app/message_box.h"
#include "base/thread.h"

namespace {

std::map<std::string, std::function<nlohmann::json()>>& sections() {
    static std::map<std::string, std::function<nlohmann::json()>> m;
    return m;
}

nlohmann::json handleJson(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? nlohmann::json("INVALID_HANDLE_VALUE") : nlohmann::json(h);
}

}  // namespace

nlohmann::json buildStatus() {
    nlohmann::json s;
    base::Window* wnd = hMainWnd.load();
    s["hMainWnd"] = wnd ? nlohmann::json(wnd->windowText()) : nlohmann::json(nullptr);
    s["MajorVersion"] = MajorVersion.load();
    s["dwModelID"] = dwModelID.load();
    s["bOSDModel"] = bOSDModel.load();
    s["bHIDEnabled"] = bHIDEnabled.load();
    s["bShutdownPending"] = bShutdownPending.load();
    s["bSleepPending"] = bSleepPending.load();
    s["dwPowerButtonAction"] = dwPowerButtonAction.load();
    s["dwSleepButtonAction"] = dwSleepButtonAction.load();
    s["fOriginalState"] = fOriginalState.load();
    s["pActivePowerScheme"] =
        pActivePowerScheme.empty() ? nlohmann::json(nullptr) : nlohmann::json(pActivePowerScheme);
    s["szBrightnessFile"] = szBrightnessFile;
    s["szConfigurationFile"] = szConfigurationFile;
    s["szButtonActionFile"] = szButtonActionFile;
    s["szOriginalStateFile"] = szOriginalStateFile;
    s["hACPIDevice"] = handleJson(hACPIDevice.load());
    s["hUARTDevice"] = handleJson(hUARTDevice.load());
    s["VolumeCriticalSection"] = {{"spinCount", VolumeCriticalSection.spinCount()}};
    s["VESKOSDUARTSendCriticalSection"] = {
        {"spinCount", VESKOSDUARTSendCriticalSection.spinCount()}};
    s["GdiplusToken"] = GdiplusToken;
    s["dwACPIMethodOutSize"] = dwACPIMethodOutSize.load();
    s["bOSDShowVolume"] = bOSDShowVolume.load();
    s["bOSDShowBrightness"] = bOSDShowBrightness.load();
    s["VolumeCount"] = VolumeCount.load();
    s["szVolumeCount"] = szVolumeCount;
    s["fVolumeMute"] = fVolumeMute.load();
    s["BRIGHTNESSCount"] = BRIGHTNESSCount.load();
    s["szBRIGHTNESSCount"] = szBRIGHTNESSCount;

    nlohmann::json boxes = nlohmann::json::array();
    for (const auto& b : shownMessageBoxes()) {
        boxes.push_back({{"text", b.text}, {"caption", b.caption}, {"type", b.type}});
    }
    s["messageBoxes"] = boxes;
    s["createdObjects"] = base::createdObjects();
    s["createdObjectsDropped"] = base::createdObjectsDropped();

    for (const auto& [key, section] : sections()) s[key] = section();
    return s;
}

void registerStatusSection(const std::string& key, std::function<nlohmann::json()> section) {
    sections()[key] = std::move(section);
}

void clearStatusSections() {
    sections().clear();
}
