// Keyboard and mouse on X11: volume keys grabbed on the root window (with every Caps Lock and
// Num Lock combination), input activity from XInput2 raw events, blocking by an active grab of
// keyboard and pointer, the Control state from the events themselves, and XTest injection.
// Without a server every call fails quietly; a new server gets the selections and grabs again.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/input.h"
#include "platform/linux/x11/x11_connection.h"

namespace platform::linux_adapter {

class X11Input final : public InputDevices {
public:
    explicit X11Input(std::shared_ptr<X11Connection> x) : x_(std::move(x)) {}
    ~X11Input() override;

    void start(std::function<void(std::function<void()>)> runOnGui,
               std::function<void(uint32_t, uint32_t, uint32_t)> hotKey) override;
    bool registerHotKey(uint32_t id, uint32_t modifiers, uint32_t vk) override;
    void installHooks(KeyboardHook keyboard, MouseHook mouse) override;
    void setBlocking(bool blocking) override;
    bool keyDown(uint32_t vk) override;
    void injectKey(uint32_t vk, bool up) override;

private:
    void onEvent(const XEvent& ev);
    void selectRawEvents();
    bool grab(unsigned code);
    void grabInput(bool blocking);
    void onReconnect();
    void keyEvent(unsigned keycode, bool up, bool grabbed);
    void mouseEvent(uint32_t message);
    uint32_t virtualKey(unsigned keycode);
    unsigned keycode(uint32_t vk);

    std::shared_ptr<X11Connection> x_;
    std::atomic<int> xiOpcode_{-1};
    int handler_ = 0;
    int reconnectHandler_ = 0;

    std::function<void(std::function<void()>)> runOnGui_;
    std::function<void(uint32_t, uint32_t, uint32_t)> hotKey_;
    std::mutex m_;
    std::map<unsigned, std::pair<uint32_t, uint32_t>> hotKeys_;  // keycode -> (id, vk)
    std::vector<std::pair<uint32_t, uint32_t>> registered_;      // (id, vk), kept for a new server
    KeyboardHook keyboard_;
    MouseHook mouse_;
    bool blocking_ = false;
    std::set<uint32_t> down_;  // GUI thread
};

}  // namespace platform::linux_adapter
