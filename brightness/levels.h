// The firmware's brightness level table: filled once at start-up from the level-list query.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

inline constexpr std::size_t kBCLLevelTableSize = 100;

// The number of levels the table holds; 0 when the firmware gave none it could back.
extern std::atomic<uint32_t> dwBCLLevelCount;
// Written at start-up before any thread reads it; read-only afterwards.
extern std::array<uint8_t, kBCLLevelTableSize> BrightnessBCLLevel;
