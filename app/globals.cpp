#include "app/globals.h"

std::atomic<base::Window*> hMainWnd{nullptr};
std::atomic<uint32_t> MajorVersion{0};
std::atomic<uint32_t> dwModelID{0};
std::atomic<int32_t> bOSDModel{1};
std::atomic<int32_t> bHIDEnabled{1};
std::atomic<int32_t> bShutdownPending{0};
std::atomic<int32_t> bSleepPending{0};
std::atomic<int32_t> dwPowerButtonAction{-1};
std::atomic<int32_t> dwSleepButtonAction{-1};
std::atomic<int32_t> fOriginalState{0};
std::string pActivePowerScheme;
std::string szBrightnessFile;
std::string szConfigurationFile;
std::string szButtonActionFile;
std::string szOriginalStateFile;
std::atomic<HANDLE> hACPIDevice{INVALID_HANDLE_VALUE};
std::atomic<HANDLE> hUARTDevice{INVALID_HANDLE_VALUE};
base::CriticalSection VolumeCriticalSection;
base::CriticalSection VESKOSDUARTSendCriticalSection;
uintptr_t GdiplusToken = 0;
std::atomic<uint32_t> dwACPIMethodOutSize{512};
std::atomic<int32_t> bOSDShowVolume{0};
std::atomic<int32_t> bOSDShowBrightness{0};
std::atomic<int32_t> VolumeCount{-1};
std::string szVolumeCount;
std::atomic<int32_t> fVolumeMute{0};
std::atomic<int32_t> BRIGHTNESSCount{0};
std::string szBRIGHTNESSCount;

void resetGlobals() {
    hMainWnd = nullptr;
    MajorVersion = 0;
    dwModelID = 0;
    bOSDModel = 1;
    bHIDEnabled = 1;
    bShutdownPending = 0;
    bSleepPending = 0;
    dwPowerButtonAction = -1;
    dwSleepButtonAction = -1;
    fOriginalState = 0;
    pActivePowerScheme.clear();
    szBrightnessFile.clear();
    szConfigurationFile.clear();
    szButtonActionFile.clear();
    szOriginalStateFile.clear();
    hACPIDevice = INVALID_HANDLE_VALUE;
    hUARTDevice = INVALID_HANDLE_VALUE;
    GdiplusToken = 0;
    dwACPIMethodOutSize = 512;
    bOSDShowVolume = 0;
    bOSDShowBrightness = 0;
    VolumeCount = -1;
    szVolumeCount.clear();
    fVolumeMute = 0;
    BRIGHTNESSCount = 0;
    szBRIGHTNESSCount.clear();
}
