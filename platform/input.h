// Keyboard and mouse: system-wide hot keys, low-level hooks that see (and while blocking,
// swallow) all input, the state of a key, and injected key events.
#pragma once

#include <cstdint>
#include <functional>

#include "base/messages.h"

namespace platform {

inline constexpr uint32_t VK_LBUTTON = 0x01;
inline constexpr uint32_t VK_CONTROL = 0x11;
inline constexpr uint32_t VK_MENU = 0x12;
inline constexpr uint32_t VK_DELETE = 0x2E;
inline constexpr uint32_t VK_LCONTROL = 0xA2;
inline constexpr uint32_t VK_RCONTROL = 0xA3;
inline constexpr uint32_t VK_LMENU = 0xA4;
inline constexpr uint32_t VK_RMENU = 0xA5;
inline constexpr uint32_t VK_VOLUME_MUTE = 0xAD;
inline constexpr uint32_t VK_VOLUME_DOWN = 0xAE;
inline constexpr uint32_t VK_VOLUME_UP = 0xAF;

inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;

inline constexpr uint32_t LLKHF_INJECTED = 0x10;

// keybd_event's flag that picks the extended (right-hand) key of a pair.
inline constexpr uint32_t KEYEVENTF_EXTENDEDKEY = 0x0001;

struct KBDLLHOOKSTRUCT {
    uint32_t vkCode = 0;
    uint32_t scanCode = 0;
    uint32_t flags = 0;
    uint32_t time = 0;
};

struct MSLLHOOKSTRUCT {
    int32_t x = 0, y = 0;
    uint32_t mouseData = 0;
    uint32_t flags = 0;
    uint32_t time = 0;
};

// A hook returns 0 to pass the input on, non-zero to swallow it.
using KeyboardHook =
    std::function<base::LRESULT(int code, base::WPARAM message, const KBDLLHOOKSTRUCT& key)>;
using MouseHook =
    std::function<base::LRESULT(int code, base::WPARAM message, const MSLLHOOKSTRUCT& mouse)>;

class InputDevices {
public:
    virtual ~InputDevices() = default;
    // `runOnGui` hands work to the GUI thread, where hooks run; `hotKey` is called (any
    // thread) when a registered hot key is pressed.
    virtual void start(
        std::function<void(std::function<void()>)> runOnGui,
        std::function<void(uint32_t id, uint32_t modifiers, uint32_t vk)> hotKey) = 0;
    // False when the key cannot be had (another program holds it).
    virtual bool registerHotKey(uint32_t id, uint32_t modifiers, uint32_t vk) = 0;
    virtual void installHooks(KeyboardHook keyboard, MouseHook mouse) = 0;
    // While blocking, the hooks see all input first and what they swallow reaches no program.
    virtual void setBlocking(bool blocking) = 0;
    // Down at the moment of the input being handled (GUI thread).
    virtual bool keyDown(uint32_t vk) = 0;
    // The key as the hooks see it: a left or right one where the two differ (sidedVirtualKey).
    virtual void injectKey(uint32_t vk, bool up) = 0;
};

}  // namespace platform
