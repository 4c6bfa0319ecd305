// Session end, monitor power and scheme changes; on the display-controller model the
// blocked-input state, with the power and sleep actions held back until it ends.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr const char* kButtonActionFileName = "KL04ButtonAction.INI";
inline constexpr const char* kOriginalStateFileName = "KL04OriginalState.INI";
inline constexpr std::size_t kButtonActionFileSize = 8;
inline constexpr std::size_t kOriginalStateFileSize = 4;

// Button action values of a scheme.
inline constexpr int32_t kActionNothing = 0;
inline constexpr int32_t kActionSleep = 1;
inline constexpr int32_t kActionHibernate = 2;
inline constexpr int32_t kActionShutDown = 3;

// GUI thread. 0 enters the blocked state, anything else leaves it; a repeat does nothing.
void SetHIDEnabled(int32_t bEnable);
// 1 when the shutdown was started.
int32_t ShutdownSystem();

void registerPowerHandlers();
