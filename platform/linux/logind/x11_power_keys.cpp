#include "platform/linux/logind/x11_power_keys.h"

#include <X11/XF86keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>

#include "platform/linux/logind/x11_watch.h"

namespace platform::linux_adapter {

namespace {

// What a connection needs to hear the keys; made again for each new server.
struct Keys {
    uint8_t xiOpcode = 0;
    xcb_key_symbols_t* symbols = nullptr;

    Keys() = default;
    Keys(const Keys&) = delete;
    Keys& operator=(const Keys&) = delete;
    ~Keys() { forget(); }
    // The table is always read in at once, so that freeing it never talks to a connection
    // that may be gone by then.
    void readMapping() { xcb_key_symbols_get_keysym(symbols, 0, 0); }
    void forget() {
        xcb_key_symbols_free(symbols);
        symbols = nullptr;
    }
};

// Looked up per press, so that a keymap changed since the start is followed.
std::optional<PowerButton> buttonOf(Keys& keys, xcb_keycode_t keycode) {
    const xcb_keysym_t sym = xcb_key_symbols_get_keysym(keys.symbols, keycode, 0);
    if (sym == XF86XK_PowerOff) return PowerButton::Power;
    if (sym == XF86XK_Sleep || sym == XF86XK_Suspend) return PowerButton::Sleep;
    return std::nullopt;
}

// On every connection the watch opens.
bool watchRawKeys(xcb_connection_t* c, xcb_window_t root, Keys& keys) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
    if (!ext || !ext->present) return false;
    // Raw events reach every client that asked, grabs or not, only from version 2.1 on.
    auto* version =
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 1), nullptr);
    const bool recent = version && version->major_version * 100 + version->minor_version >= 201;
    std::free(version);
    if (!recent) return false;
    struct {
        xcb_input_event_mask_t head;
        uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS};
    xcb_input_xi_select_events(c, root, 1, &mask.head);
    keys.forget();
    keys.xiOpcode = ext->major_opcode;
    keys.symbols = xcb_key_symbols_alloc(c);
    keys.readMapping();
    return keys.symbols != nullptr;
}

void onKeyEvent(const xcb_generic_event_t& ev, Keys& keys,
                const std::function<void(PowerButton)>& onPress) {
    const uint8_t type = ev.response_type & 0x7F;
    if (type == XCB_MAPPING_NOTIFY) {
        auto mapping = reinterpret_cast<const xcb_mapping_notify_event_t&>(ev);
        xcb_refresh_keyboard_mapping(keys.symbols, &mapping);
        keys.readMapping();
        return;
    }
    if (type != XCB_GE_GENERIC) return;
    const auto& ge = reinterpret_cast<const xcb_ge_generic_event_t&>(ev);
    if (ge.extension != keys.xiOpcode || ge.event_type != XCB_INPUT_RAW_KEY_PRESS) return;
    const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(ev);
    // Held keys repeat; only the first press is a press of the button.
    if (raw.flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT) return;
    if (auto b = buttonOf(keys, static_cast<xcb_keycode_t>(raw.detail))) onPress(*b);
}

}  // namespace

X11PowerKeys::X11PowerKeys(std::string display) : display_(std::move(display)) {}

X11PowerKeys::~X11PowerKeys() {
    stop();
}

int X11PowerKeys::start(std::function<void(PowerButton)> onPress) {
    if (reader_.running()) return 1;
    const int wake = reader_.stopFd();
    if (wake < 0) return 0;
    auto keys = std::make_shared<Keys>();
    std::shared_ptr<X11Watch> watch = X11Watch::open(
        display_,
        [keys](xcb_connection_t* c, xcb_window_t root) { return watchRawKeys(c, root, *keys); });
    if (!watch) {
        reader_.stop();
        return 0;
    }
    reader_.start([watch, keys, wake, onPress = std::move(onPress)] {
        watch->run(wake, [&](xcb_connection_t*, const xcb_generic_event_t& ev) {
            onKeyEvent(ev, *keys, onPress);
        });
    });
    return 1;
}

void X11PowerKeys::stop() {
    reader_.stop();
}

}  // namespace platform::linux_adapter
