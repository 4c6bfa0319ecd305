#include "platform/linux/wayland/wayland_input.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/linux/wayland/layer_shell.h"
#include "virtual-keyboard-unstable-v1-client.h"

namespace platform::linux_adapter {

namespace {

// The compositor compiles it with its own keyboard data; only the Control keys are ever sent.
constexpr std::string_view kKeymap =
    "xkb_keymap {\n"
    "  xkb_keycodes { include \"evdev\" };\n"
    "  xkb_types { include \"complete\" };\n"
    "  xkb_compat { include \"complete\" };\n"
    "  xkb_symbols { include \"pc+us\" };\n"
    "};\n";

// Linux input codes.
constexpr uint32_t kKeyLeftCtrl = 29;
constexpr uint32_t kKeyRightCtrl = 97;
constexpr uint32_t kKeyDelete = 111;

struct KeyCode {
    uint32_t code, vk;
};
constexpr KeyCode kKeys[] = {{kKeyLeftCtrl, VK_LCONTROL},
                             {kKeyRightCtrl, VK_RCONTROL},
                             {kKeyDelete, VK_DELETE},
                             {56, VK_LMENU},
                             {100, VK_RMENU},
                             {113, VK_VOLUME_MUTE},
                             {114, VK_VOLUME_DOWN},
                             {115, VK_VOLUME_UP}};

// The key as the hooks know it; 0 for the keys they do not tell apart.
uint32_t virtualKey(uint32_t code) {
    for (const KeyCode& k : kKeys) {
        if (k.code == code) return k.vk;
    }
    return 0;
}

uint32_t linuxCode(uint32_t vk) {
    if (vk == VK_CONTROL) return kKeyLeftCtrl;
    for (const KeyCode& k : kKeys) {
        if (k.vk == vk) return k.code;
    }
    return 0;
}

const wl_keyboard_listener kKeyboardListener = {
    [](void*, wl_keyboard*, uint32_t, int fd, uint32_t) { close(fd); },
    [](void* data, wl_keyboard*, uint32_t, wl_surface* s, wl_array*) {
        static_cast<WaylandInput*>(data)->keyboardFocus(s);
    },
    [](void* data, wl_keyboard*, uint32_t, wl_surface*) {
        static_cast<WaylandInput*>(data)->keyboardFocus(nullptr);
    },
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t code, uint32_t state) {
        static_cast<WaylandInput*>(data)->key(code, state == WL_KEYBOARD_KEY_STATE_RELEASED);
    },
    [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void*, wl_keyboard*, int32_t, int32_t) {}};

const zwlr_layer_surface_v1_listener kOverlayListener = {
    [](void* data, zwlr_layer_surface_v1* l, uint32_t serial, uint32_t w, uint32_t h) {
        zwlr_layer_surface_v1_ack_configure(l, serial);
        auto* o = static_cast<WaylandInput::Overlay*>(data);
        o->owner->configured(*o, w, h);
    },
    [](void*, zwlr_layer_surface_v1*) {}};

}  // namespace

WaylandInput::WaylandInput(std::shared_ptr<WaylandDisplay> display) : display_(std::move(display)) {
    // From here on it hears of a lost compositor, whose objects it must not touch again.
    display_->addClient(this);
    {
        auto l = display_->lock();
        seatChanged();
    }
    display_->start();
}

WaylandInput::~WaylandInput() {
    display_->removeClient(this);
    auto l = display_->lock();
    destroyLocked();
    // The compositor lets the overlays' buffers go only later, on the event thread.
    buffers_.forget();
    if (seatKeyboard_) wl_keyboard_destroy(seatKeyboard_);
    if (keyboard_) zwp_virtual_keyboard_v1_destroy(keyboard_);
    keyboard_ = nullptr;
    display_->flush();
}

void WaylandInput::start(std::function<void(std::function<void()>)> runOnGui,
                         std::function<void(uint32_t, uint32_t, uint32_t)>) {
    auto l = display_->lock();
    runOnGui_ = std::move(runOnGui);
}

void WaylandInput::installHooks(KeyboardHook keyboard, MouseHook) {
    auto l = display_->lock();
    keyboardHook_ = std::move(keyboard);
}

bool WaylandInput::keyDown(uint32_t vk) {
    if (vk == VK_CONTROL) return downAtHook_.count(VK_LCONTROL) || downAtHook_.count(VK_RCONTROL);
    return downAtHook_.count(vk) != 0;
}

void WaylandInput::keyboardFocus(wl_surface* surface) {
    overlayFocused_ = false;
    for (auto& o : overlays_) overlayFocused_ = overlayFocused_ || o->surface == surface;
    if (!overlayFocused_) down_.clear();
}

// A key the overlay took: to the hook on the GUI thread, with the keys down at that moment.
void WaylandInput::key(uint32_t code, bool up) {
    if (!overlayFocused_ || !keyboardHook_ || !runOnGui_) return;
    const uint32_t vk = virtualKey(code);
    if (vk != 0) {
        if (up) {
            down_.erase(vk);
        } else {
            down_.insert(vk);
        }
    }
    KBDLLHOOKSTRUCT k;
    k.vkCode = vk;
    k.scanCode = code;
    runOnGui_([this, hook = keyboardHook_, k, up, down = down_] {
        downAtHook_ = down;
        hook(0, up ? WM_KEYUP : WM_KEYDOWN, k);
    });
}

void WaylandInput::seatChanged() {
    WaylandGlobals* g = display_->globals();
    if (!g) return;
    if (g->keyboard && !seatKeyboard_) {
        seatKeyboard_ = wl_seat_get_keyboard(g->seat);
        wl_keyboard_add_listener(seatKeyboard_, &kKeyboardListener, this);
    } else if (!g->keyboard && seatKeyboard_) {
        if (wl_keyboard_get_version(seatKeyboard_) >= WL_KEYBOARD_RELEASE_SINCE_VERSION) {
            wl_keyboard_release(seatKeyboard_);
        } else {
            wl_keyboard_destroy(seatKeyboard_);
        }
        seatKeyboard_ = nullptr;
        overlayFocused_ = false;
        down_.clear();
    }
}

void WaylandInput::setBlocking(bool blocking) {
    auto l = display_->lock();
    blocking_ = blocking;
    updateLocked();
}

std::size_t WaylandInput::overlays() {
    auto l = display_->lock();
    return overlays_.size();
}

std::size_t WaylandInput::overlaysConfigured() {
    auto l = display_->lock();
    std::size_t n = 0;
    for (auto& o : overlays_) n += o->configured ? 1 : 0;
    return n;
}

void WaylandInput::destroyLocked() {
    for (auto& o : overlays_) {
        if (o->layer) zwlr_layer_surface_v1_destroy(o->layer);
        if (o->surface) wl_surface_destroy(o->surface);
    }
    overlays_.clear();
}

// Blocking: one overlay per output, over everything, panels included, taking the keyboard; its
// input region is the whole surface (the default), so the pointer lands on it too.
void WaylandInput::updateLocked() {
    WaylandGlobals* g = display_->globals();
    if (!blocking_) {
        destroyLocked();
        display_->flush();
        return;
    }
    if (!g || !overlays_.empty()) return;
    if (!g->layerShell) {
        if (!saidNoLayerShell_) {
            std::fprintf(stderr,
                         "veskosd: the Wayland compositor offers no layer-shell: the keyboard "
                         "and mouse are not blocked\n");
        }
        saidNoLayerShell_ = true;
        return;
    }
    for (auto& out : g->outputs) {
        auto o = std::make_unique<Overlay>();
        o->owner = this;
        o->surface = wl_compositor_create_surface(g->compositor);
        o->layer = zwlr_layer_shell_v1_get_layer_surface(
            g->layerShell, o->surface, out->output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "veskosd");
        zwlr_layer_surface_v1_add_listener(o->layer, &kOverlayListener, o.get());
        zwlr_layer_surface_v1_set_anchor(
            o->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                          ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_size(o->layer, 0, 0);
        zwlr_layer_surface_v1_set_exclusive_zone(o->layer, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(o->layer, 1);
        wl_surface_commit(o->surface);
        overlays_.push_back(std::move(o));
    }
    display_->flush();
}

void WaylandInput::configured(Overlay& o, uint32_t width, uint32_t height) {
    WaylandGlobals* g = display_->globals();
    if (o.configured || !g) return;
    // Fully transparent: the file's zeros, never written.
    wl_buffer* b =
        buffers_.make(g->shm, nullptr, static_cast<int>(width), static_cast<int>(height));
    if (!b) return;
    o.configured = true;
    wl_surface_attach(o.surface, b, 0, 0);
    wl_surface_damage(o.surface, 0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height));
    wl_surface_commit(o.surface);
}

void WaylandInput::connectionLost() {
    destroyLocked();
    buffers_.forget();
    if (seatKeyboard_) wl_keyboard_destroy(seatKeyboard_);
    seatKeyboard_ = nullptr;
    overlayFocused_ = false;
    down_.clear();
    if (keyboard_) zwp_virtual_keyboard_v1_destroy(keyboard_);
    keyboard_ = nullptr;
}

void WaylandInput::outputsChanged() {
    destroyLocked();
    updateLocked();
}

bool WaylandInput::keyboardLocked(WaylandGlobals& g) {
    if (keyboard_) return true;
    if (!g.virtualKeyboards || !g.seat) return false;
    const int fd = memfd_create("veskosd-keymap", MFD_CLOEXEC);
    if (fd < 0) return false;
    // The compositor maps the keymap with its terminating zero.
    const std::size_t size = kKeymap.size() + 1;
    const bool written =
        ::write(fd, kKeymap.data(), kKeymap.size()) == static_cast<ssize_t>(kKeymap.size()) &&
        ::write(fd, "", 1) == 1;
    if (written) {
        keyboard_ =
            zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g.virtualKeyboards, g.seat);
        zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<uint32_t>(size));
    }
    ::close(fd);
    return keyboard_ != nullptr;
}

void WaylandInput::injectKey(uint32_t vk, bool up) {
    const uint32_t code = linuxCode(vk);
    if (code == 0) return;
    auto l = display_->lock();
    WaylandGlobals* g = display_->globals();
    if (!g) return;
    if (!keyboardLocked(*g)) {
        if (!saidNoKeyboard_) {
            std::fprintf(stderr,
                         "veskosd: the Wayland compositor offers no virtual keyboard: the "
                         "Control tap is skipped\n");
        }
        saidNoKeyboard_ = true;
        return;
    }
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    zwp_virtual_keyboard_v1_key(
        keyboard_, static_cast<uint32_t>(now.count()), code,
        up ? WL_KEYBOARD_KEY_STATE_RELEASED : WL_KEYBOARD_KEY_STATE_PRESSED);
    display_->flush();
}

}  // namespace platform::linux_adapter
