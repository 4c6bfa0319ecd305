// The brightness counter the OSD shows, the firmware level table, and the firmware steps.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

inline constexpr std::size_t kBCLLevelTableSize = 100;

// The number of levels the table holds; 0 when the firmware gave none it could back.
extern std::atomic<uint32_t> dwBCLLevelCount;
// Written at start-up before any thread reads it; read-only afterwards.
extern std::array<uint8_t, kBCLLevelTableSize> BrightnessBCLLevel;

// GUI thread, except where the status report reads them.
extern std::atomic<int32_t> BRIGHTNESSSave;
extern std::atomic<int32_t> iValue;
extern std::atomic<uint32_t> dwPowerSaveTimeout;
// Written by the notification thread just before it posts the change.
extern std::atomic<uint32_t> dwWmiBrightness;

// Two levels at least: fewer back no brightness, and the panel is then left alone.
bool BrightnessLevelsUsable();
// Whether `level` is one of the levels of a usable table.
bool BrightnessTableHolds(int32_t level);
// The entry of the table that stands for a brightness of `percent` (0 to 100): entry percent / 10
// of a table of eleven levels or more; of a shorter one the nearest level, the inverse of the
// percentages SyncBrightnessFromSystem gives its entries. Only for a usable table.
std::size_t BrightnessLevelIndex(int32_t percent);
// That entry's level, or 0 (no level) when the table is not usable.
int32_t BrightnessLevelFor(int32_t percent);

// One brightness event each: the counter moves by one, the firmware by one step every ten.
void BrightnessStepDown();
void BrightnessStepUp();
// Takes over a change made elsewhere, unless suppressed, idle-dimmed or not in the table.
void SyncBrightnessFromSystem();

// The OSD model's handlers of the brightness events.
void registerBrightnessHandlers();
