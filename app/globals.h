// Process-wide state through which all subsystems meet. Names, types and initial values are the
// program's long-standing ones; flags are 32-bit integers holding 0 or 1. Variables that more
// than one thread touches are atomic; the strings are written and read on the GUI thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/critical_section.h"
#include "base/window.h"

using HANDLE = intptr_t;
inline constexpr HANDLE INVALID_HANDLE_VALUE = -1;

extern std::atomic<base::Window*> hMainWnd;
extern std::atomic<uint32_t> MajorVersion;
extern std::atomic<uint32_t> dwModelID;
extern std::atomic<int32_t> bOSDModel;
extern std::atomic<int32_t> bHIDEnabled;
extern std::atomic<int32_t> bShutdownPending;
extern std::atomic<int32_t> bSleepPending;
extern std::atomic<int32_t> dwPowerButtonAction;
extern std::atomic<int32_t> dwSleepButtonAction;
extern std::atomic<int32_t> fOriginalState;
// The active power scheme's identifier; empty stands for the null pointer.
extern std::string pActivePowerScheme;
extern std::string szBrightnessFile;
extern std::string szConfigurationFile;
extern std::string szButtonActionFile;
extern std::string szOriginalStateFile;
extern std::atomic<HANDLE> hACPIDevice;
extern std::atomic<HANDLE> hUARTDevice;
extern base::CriticalSection VolumeCriticalSection;
extern base::CriticalSection VESKOSDUARTSendCriticalSection;
extern uintptr_t GdiplusToken;
extern std::atomic<uint32_t> dwACPIMethodOutSize;
extern std::atomic<int32_t> bOSDShowVolume;
extern std::atomic<int32_t> bOSDShowBrightness;
extern std::atomic<int32_t> VolumeCount;
extern std::string szVolumeCount;
extern std::atomic<int32_t> fVolumeMute;
extern std::atomic<int32_t> BRIGHTNESSCount;
extern std::string szBRIGHTNESSCount;

// Puts every variable above back to its initial value; for tests.
void resetGlobals();
