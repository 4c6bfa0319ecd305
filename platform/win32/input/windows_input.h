// Keyboard and mouse on Windows: RegisterHotKey, the low-level keyboard and mouse hooks and
// keybd_event, all on a message thread of their own (the hooks and hot keys need a thread that
// pumps messages; the GUI thread runs the core's queue). The hooks call the core's procedures
// there, on that thread, since the system waits for their answer: handing them to the GUI
// thread would stall every key while it is busy, and deadlock when the GUI thread itself
// injects a key. What they may swallow is swallowed only while blocking.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/input.h"
#include "platform/win32/input/message_thread.h"

namespace platform::win32 {

class WindowsInputDevices final : public InputDevices {
public:
    WindowsInputDevices();
    // Gives back the hot keys and removes the hooks.
    ~WindowsInputDevices() override;
    WindowsInputDevices(const WindowsInputDevices&) = delete;
    WindowsInputDevices& operator=(const WindowsInputDevices&) = delete;

    // `hotKey` is called on the message thread; `runOnGui` is not needed.
    void start(std::function<void(std::function<void()>)> runOnGui,
               std::function<void(uint32_t, uint32_t, uint32_t)> hotKey) override;
    bool registerHotKey(uint32_t id, uint32_t modifiers, uint32_t vk) override;
    // Installed once; a later call only replaces the procedures.
    void installHooks(KeyboardHook keyboard, MouseHook mouse) override;
    void setBlocking(bool blocking) override;
    // The key's state as the system sees it now (GetAsyncKeyState): a key the hooks swallowed
    // is not down.
    bool keyDown(uint32_t vk) override;
    // keybd_event with the key's scan code; a sided Control or Alt goes as the plain key, the
    // right-hand one with the extended-key flag.
    void injectKey(uint32_t vk, bool up) override;

    // Message thread, from the hook procedures: true to swallow the input.
    bool onKeyboard(int code, uint64_t message, const KBDLLHOOKSTRUCT& key);
    bool onMouse(int code, uint64_t message, const MSLLHOOKSTRUCT& mouse);

private:
    bool onMessage(uint32_t message, uint64_t wParam, int64_t lParam);

    std::mutex m_;
    std::function<void(uint32_t, uint32_t, uint32_t)> hotKey_;
    std::vector<uint32_t> hotKeys_;  // registered ids
    std::atomic<bool> blocking_{false};
    // Message thread only.
    KeyboardHook keyboard_;
    MouseHook mouse_;
    void* keyboardHook_ = nullptr;
    void* mouseHook_ = nullptr;
    // Last: it ends before what its messages use.
    std::unique_ptr<MessageThread> thread_;
};

}  // namespace platform::win32
