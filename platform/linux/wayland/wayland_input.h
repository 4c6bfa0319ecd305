// Keyboard and mouse on Wayland, where a client sees only its own input: hot keys come from the
// compositor's bindings (`veskosd key ...`), not from here. Blocking puts a transparent
// full-screen layer-shell surface over every output that takes the keyboard and the pointer; the
// keys it takes are handed to the keyboard hook, read as Linux input codes (what libinput-based
// compositors send for real keyboards). Injected keys go through the virtual-keyboard protocol
// where the compositor offers it.
#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <vector>

#include "platform/input.h"
#include "platform/linux/wayland/shm_buffer.h"
#include "platform/linux/wayland/wayland_display.h"

struct wl_surface;
struct wl_keyboard;
struct zwlr_layer_surface_v1;
struct zwp_virtual_keyboard_v1;

namespace platform::linux_adapter {

class WaylandInput final : public InputDevices, private WaylandDisplay::Client {
public:
    explicit WaylandInput(std::shared_ptr<WaylandDisplay> display);
    ~WaylandInput() override;

    void start(std::function<void(std::function<void()>)> runOnGui,
               std::function<void(uint32_t, uint32_t, uint32_t)> hotKey) override;
    // Global keys are the compositor's to give: none can be had here.
    bool registerHotKey(uint32_t, uint32_t, uint32_t) override { return false; }
    void installHooks(KeyboardHook keyboard, MouseHook mouse) override;
    void setBlocking(bool blocking) override;
    bool keyDown(uint32_t vk) override;
    void injectKey(uint32_t vk, bool up) override;

    // For tests: overlay surfaces made, and those the compositor configured.
    std::size_t overlays();
    std::size_t overlaysConfigured();

    struct Overlay {
        WaylandInput* owner = nullptr;
        wl_surface* surface = nullptr;
        zwlr_layer_surface_v1* layer = nullptr;
        bool configured = false;
    };
    void configured(Overlay& o, uint32_t width, uint32_t height);
    // The seat's keyboard, under the display's lock.
    void keyboardFocus(wl_surface* surface);
    void key(uint32_t code, bool up);

private:
    void connectionLost() override;
    void outputsChanged() override;
    void seatChanged() override;
    void updateLocked();
    void destroyLocked();
    bool keyboardLocked(WaylandGlobals& g);

    std::shared_ptr<WaylandDisplay> display_;
    std::function<void(std::function<void()>)> runOnGui_;
    KeyboardHook keyboardHook_;
    // The keys down as the hook being run sees them (GUI thread).
    std::set<uint32_t> downAtHook_;
    // Guarded by the display's lock.
    wl_keyboard* seatKeyboard_ = nullptr;
    bool overlayFocused_ = false;
    std::set<uint32_t> down_;
    bool blocking_ = false;
    bool saidNoLayerShell_ = false;
    bool saidNoKeyboard_ = false;
    std::vector<std::unique_ptr<Overlay>> overlays_;
    ShmBuffers buffers_;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
};

}  // namespace platform::linux_adapter
