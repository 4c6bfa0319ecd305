// The brightness state file: three 32-bit little-endian numbers that carry the brightness across
// monitor power-off, session end and restarts; read back once and deleted.
#pragma once

#include <atomic>
#include <string_view>

#include "base/event.h"

inline constexpr const char* kBrightnessFileName = "KL04BrightnessLevel.INI";
inline constexpr std::size_t kBrightnessFileSize = 12;
inline constexpr uint32_t kBrightnessSuppressMs = 5000;

// While set, brightness-change notices are ignored; ThreadBNFunction clears it 5 s after.
extern std::atomic<base::Event*> hBritNoChangedEvent;

// The plain name or one of the numbered ones.
bool IsBrightnessFileName(std::string_view name);
// Start-up: the plain name, or a numbered one when the plain one is there but not ours.
void ChooseBrightnessFileName();
// Start-up on major version 5 and lower: the saved level through firmware steps.
void RestoreBrightnessAtStart();
// Monitor on: the saved level (or the model's default) through the panel's brightness.
void RestoreBrightnessState();
// Monitor off, close, session end.
void SaveBrightnessState();

void CreateBrightnessNoChangeEvent();
void ThreadBNFunction();
