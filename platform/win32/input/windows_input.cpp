#include "platform/win32/input/windows_input.h"

// After the port's header: from here on the system's macros name the keys and messages.
#include <windows.h>

#include <cstdio>

#include "platform/keysyms.h"

namespace platform::win32 {

namespace {

// The hooks are called on the thread that installed them, with no context of their own.
thread_local WindowsInputDevices* hookOwner = nullptr;

LRESULT CALLBACK keyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && hookOwner) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the system's record for this hook
        const auto* k = reinterpret_cast<const ::KBDLLHOOKSTRUCT*>(lParam);
        platform::KBDLLHOOKSTRUCT key;
        // Wine gives the plain Control or Alt with the extended flag; the core speaks in sides.
        key.vkCode =
            sidedVirtualKey(k->vkCode, (k->flags & LLKHF_EXTENDED) ? KEYEVENTF_EXTENDEDKEY : 0);
        key.scanCode = k->scanCode;
        key.flags = k->flags;
        key.time = k->time;
        if (hookOwner->onKeyboard(code, wParam, key)) return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK mouseProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && hookOwner) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the system's record for this hook
        const auto* m = reinterpret_cast<const ::MSLLHOOKSTRUCT*>(lParam);
        platform::MSLLHOOKSTRUCT mouse;
        mouse.x = m->pt.x;
        mouse.y = m->pt.y;
        mouse.mouseData = m->mouseData;
        mouse.flags = m->flags;
        mouse.time = m->time;
        if (hookOwner->onMouse(code, wParam, mouse)) return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct KeyStroke {
    uint32_t vk;
    bool extended;
};

KeyStroke keyStroke(uint32_t vk) {
    switch (vk) {
        case VK_LCONTROL:
            return {VK_CONTROL, false};
        case VK_RCONTROL:
            return {VK_CONTROL, true};
        case VK_LMENU:
            return {VK_MENU, false};
        case VK_RMENU:
            return {VK_MENU, true};
        default:
            return {vk, false};
    }
}

}  // namespace

WindowsInputDevices::WindowsInputDevices()
    : thread_(std::make_unique<MessageThread>(
          [this](uint32_t message, uint64_t wParam, int64_t lParam) {
              return onMessage(message, wParam, lParam);
          })) {}

WindowsInputDevices::~WindowsInputDevices() {
    std::vector<uint32_t> ids;
    {
        std::lock_guard l(m_);
        ids.swap(hotKeys_);
    }
    thread_->call([&] {
        auto* hwnd = static_cast<HWND>(thread_->window());
        for (uint32_t id : ids) UnregisterHotKey(hwnd, static_cast<int>(id));
        if (keyboardHook_) UnhookWindowsHookEx(static_cast<HHOOK>(keyboardHook_));
        if (mouseHook_) UnhookWindowsHookEx(static_cast<HHOOK>(mouseHook_));
        hookOwner = nullptr;
    });
}

void WindowsInputDevices::start(std::function<void(std::function<void()>)>,
                                std::function<void(uint32_t, uint32_t, uint32_t)> hotKey) {
    std::lock_guard l(m_);
    hotKey_ = std::move(hotKey);
}

bool WindowsInputDevices::registerHotKey(uint32_t id, uint32_t modifiers, uint32_t vk) {
    bool registered = false;
    DWORD error = ERROR_INVALID_WINDOW_HANDLE;
    thread_->call([&] {
        registered = RegisterHotKey(static_cast<HWND>(thread_->window()), static_cast<int>(id),
                                    modifiers, vk) != FALSE;
        if (!registered) error = GetLastError();
    });
    if (!registered) {
        std::fprintf(stderr, "veskosd: hot key %u (virtual key 0x%02x): error %lu\n", id, vk,
                     error);
        return false;
    }
    std::lock_guard l(m_);
    hotKeys_.push_back(id);
    return true;
}

void WindowsInputDevices::installHooks(KeyboardHook keyboard, MouseHook mouse) {
    const bool called = thread_->call([&] {
        keyboard_ = std::move(keyboard);
        mouse_ = std::move(mouse);
        hookOwner = this;
        HINSTANCE module = GetModuleHandleW(nullptr);
        if (!keyboardHook_)
            keyboardHook_ = SetWindowsHookExW(WH_KEYBOARD_LL, keyboardProc, module, 0);
        if (!keyboardHook_) {
            std::fprintf(stderr, "veskosd: keyboard hook: error %lu\n", GetLastError());
        }
        if (!mouseHook_) mouseHook_ = SetWindowsHookExW(WH_MOUSE_LL, mouseProc, module, 0);
        if (!mouseHook_) std::fprintf(stderr, "veskosd: mouse hook: error %lu\n", GetLastError());
    });
    if (!called) std::fprintf(stderr, "veskosd: no input thread: no hooks\n");
}

void WindowsInputDevices::setBlocking(bool blocking) {
    blocking_ = blocking;
}

bool WindowsInputDevices::keyDown(uint32_t vk) {
    return (static_cast<uint16_t>(GetAsyncKeyState(static_cast<int>(vk))) & 0x8000U) != 0;
}

void WindowsInputDevices::injectKey(uint32_t vk, bool up) {
    const KeyStroke stroke = keyStroke(vk);
    DWORD flags = stroke.extended ? KEYEVENTF_EXTENDEDKEY : 0;
    if (up) flags |= KEYEVENTF_KEYUP;
    const UINT scan = MapVirtualKeyW(stroke.vk, MAPVK_VK_TO_VSC);
    keybd_event(static_cast<BYTE>(stroke.vk), static_cast<BYTE>(scan), flags, 0);
}

bool WindowsInputDevices::onKeyboard(int code, uint64_t message, const KBDLLHOOKSTRUCT& key) {
    if (!keyboard_) return false;
    return keyboard_(code, message, key) != 0 && blocking_.load();
}

bool WindowsInputDevices::onMouse(int code, uint64_t message, const MSLLHOOKSTRUCT& mouse) {
    if (!mouse_) return false;
    return mouse_(code, message, mouse) != 0 && blocking_.load();
}

bool WindowsInputDevices::onMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    if (message != WM_HOTKEY) return false;
    std::function<void(uint32_t, uint32_t, uint32_t)> hotKey;
    {
        std::lock_guard l(m_);
        hotKey = hotKey_;
    }
    // lParam: the modifiers in the low word, the virtual key in the high word.
    const auto bits = static_cast<uint64_t>(lParam);
    if (hotKey) {
        hotKey(static_cast<uint32_t>(wParam), static_cast<uint32_t>(bits & 0xFFFF),
               static_cast<uint32_t>((bits >> 16) & 0xFFFF));
    }
    return true;
}

}  // namespace platform::win32
