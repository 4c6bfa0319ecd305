// The private device-event message, its codes and the hot-key ids every button source shares.
#pragma once

#include <cstdint>

#include "base/messages.h"

inline constexpr uint32_t WM_DEVICE_EVENT = WM_USER + 0x101;  // 1281
inline constexpr base::WPARAM DEVICE_EVENT_WPARAM = 512;

inline constexpr base::LPARAM LPARAM_DEBR = 17;
inline constexpr base::LPARAM LPARAM_INBR = 18;
inline constexpr base::LPARAM LPARAM_SR_VOL_UP_MAKE = 32;
inline constexpr base::LPARAM LPARAM_SR_VOL_DOWN_MAKE = 34;
inline constexpr base::LPARAM LPARAM_SR_MUTE = 36;
inline constexpr base::LPARAM LPARAM_TOGGLE_LCD = 162;
inline constexpr base::LPARAM LPARAM_BRIT_CHANGED = 163;
inline constexpr base::LPARAM LPARAM_MEDIA_SELECT = 164;
inline constexpr base::LPARAM LPARAM_SOURCE_CHANGED = 165;
inline constexpr base::LPARAM LPARAM_DISABLE_HID = 166;
inline constexpr base::LPARAM LPARAM_ENABLE_HID = 167;
inline constexpr base::LPARAM LPARAM_SLEEP_SELECT = 168;
inline constexpr base::LPARAM LPARAM_SYSTEM_SHUTDOWN = 169;

inline constexpr uint32_t KT_TOGGLE_LCD = 256;
inline constexpr uint32_t KT_BRIT_DOWN = 257;
inline constexpr uint32_t KT_BRIT_UP = 258;
inline constexpr uint32_t KT_VOL_DOWN = 259;
inline constexpr uint32_t KT_VOL_MUTE = 260;
inline constexpr uint32_t KT_VOL_UP = 261;

// Posts a device event to the main window; false before the window exists.
bool postDeviceEvent(base::LPARAM code);
