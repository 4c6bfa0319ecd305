// Start-up: the power notices and the active scheme, and the undoing of a blocked state that a
// previous run left behind.
#pragma once

#include <cstdint>

#include "platform/power.h"

// Session-end notices run the window's session-end handling; setting changes arrive as
// WM_POWERBROADCAST. From here on notices may come from any thread.
void StartPowerNotices();
// A handle, or 0 where the platform gives no such notices (as on major version 5).
uintptr_t RegisterPowerSettingNotification(platform::PowerSetting setting);
// Into pActivePowerScheme; left as it was where the platform cannot tell.
void ReadActivePowerScheme();

// Display-controller model, after the file names were completed: the saved button actions and
// mute state are put back, and each file deleted once it is done with.
void RestoreBlockedHidState();
