// The computer's own HID buttons: panel, brightness with auto-repeat, media select, source and
// sleep, read from three raw-input collections.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/event.h"
#include "base/messages.h"

extern std::atomic<int32_t> dwHIDKeyHeld;
extern std::atomic<int32_t> bHIDBrightnessActive;
extern std::atomic<int32_t> bPanelOn;

extern std::atomic<base::Event*> hBritUpMakeEvent;
extern std::atomic<base::Event*> hBritUpBreakEvent;
extern std::atomic<base::Event*> hBritDownMakeEvent;
extern std::atomic<base::Event*> hBritDownBreakEvent;

inline constexpr uint32_t kBrightnessFirstRepeatMs = 500;
inline constexpr uint32_t kOsdBrightnessRepeatMs = 30;
inline constexpr uint32_t kControllerBrightnessRepeatMs = 100;

// Start-up: the three collections, each registered on its own.
void RegisterRawInputDevices();
// WM_INPUT: one report of a registered collection.
void OnRawInput(base::LPARAM hRawInput);
// Start-up: up make, up break, down make, down break.
void CreateBrightnessKeyEvents();
void ThreadBDFunction();
void ThreadBUFunction();
// WM_INPUT on both models goes to OnRawInput.
void registerRawInputHandler();
// Puts the key state back to its start; for tests.
void resetRawInputState();
