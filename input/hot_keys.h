// The volume hot keys, the common WM_HOTKEY entry for every button action, and the low-level
// keyboard and mouse hooks.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/input.h"

// The tick count of the last keyboard or mouse input (OSD model).
extern std::atomic<uint32_t> dwLastInputTick;

// GUI thread. Ids outside 256..261 are ignored.
void MyHotKey(uint32_t id, base::LPARAM lParam);
void TapControlKey();

base::LRESULT InputActivityHookProc(int nCode, base::WPARAM wParam, const void* record);
base::LRESULT LowLevelKeyboardProc(int nCode, base::WPARAM wParam,
                                   const platform::KBDLLHOOKSTRUCT& key);
base::LRESULT LowLevelMouseProc(int nCode, base::WPARAM wParam,
                                const platform::MSLLHOOKSTRUCT& mouse);

// Start-up: hand the devices their way to the GUI thread, register the three volume keys.
void RegisterVolumeHotKeys();
// Start-up: the hooks of the model.
void InstallHooks();
// The hooks swallow input exactly while the controller model has the computer's own input
// devices disabled; called whenever that may have changed.
void UpdateInputBlocking();
void registerHotKeyHandler();
