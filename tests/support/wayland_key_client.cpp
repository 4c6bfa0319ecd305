// A plain Wayland window for the tests: an xdg toplevel that prints one line per keyboard focus
// change ("focus in"/"focus out"), key ("key CODE STATE") and pointer button ("button"), so a
// test sees what reached it. It makes a virtual pointer too: a headless seat has no pointer
// until one exists, and sway's `seat seat0 cursor ...` then moves and clicks it.
// With the argument "panel HEIGHT" it is a dock instead: a layer-shell surface at the bottom of
// the focused output with an exclusive zone of HEIGHT.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/linux/wayland/layer_shell.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"
#include "xdg-shell-client.h"

namespace {

wl_compositor* compositor = nullptr;
wl_shm* shm = nullptr;
wl_seat* seat = nullptr;
xdg_wm_base* wmBase = nullptr;
zwlr_virtual_pointer_manager_v1* pointers = nullptr;
zwlr_layer_shell_v1* layerShell = nullptr;
wl_surface* surface = nullptr;
wl_keyboard* keyboard = nullptr;
wl_pointer* pointer = nullptr;

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

wl_buffer* whiteBuffer(int w, int h) {
    const int stride = w * 4;
    const int size = stride * h;
    const int fd = memfd_create("client", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return nullptr;
    void* map = mmap(nullptr, static_cast<size_t>(size), PROT_WRITE, MAP_SHARED, fd, 0);
    std::memset(map, 0xFF, static_cast<size_t>(size));
    munmap(map, static_cast<size_t>(size));
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* b = wl_shm_pool_create_buffer(pool, 0, w, h, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return b;
}

const wl_keyboard_listener keyboardListener = {
    [](void*, wl_keyboard*, uint32_t, int fd, uint32_t) { close(fd); },
    [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) { say("focus in"); },
    [](void*, wl_keyboard*, uint32_t, wl_surface*) { say("focus out"); },
    [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        say("key " + std::to_string(key) + " " + std::to_string(state));
    },
    [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void*, wl_keyboard*, int32_t, int32_t) {}};

const wl_pointer_listener pointerListener = {
    [](void*, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t) {},
    [](void*, wl_pointer*, uint32_t, wl_surface*) {},
    [](void*, wl_pointer*, uint32_t, wl_fixed_t, wl_fixed_t) {},
    [](void*, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
        if (state == WL_POINTER_BUTTON_STATE_PRESSED) say("button");
    },
    [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {},
    [](void*, wl_pointer*) {},
    [](void*, wl_pointer*, uint32_t) {},
    [](void*, wl_pointer*, uint32_t, uint32_t) {},
    [](void*, wl_pointer*, uint32_t, int32_t) {},
    [](void*, wl_pointer*, uint32_t, int32_t) {}};

const wl_seat_listener seatListener = {
    [](void*, wl_seat* s, uint32_t caps) {
        if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard) {
            keyboard = wl_seat_get_keyboard(s);
            wl_keyboard_add_listener(keyboard, &keyboardListener, nullptr);
        }
        if ((caps & WL_SEAT_CAPABILITY_POINTER) && !pointer) {
            pointer = wl_seat_get_pointer(s);
            wl_pointer_add_listener(pointer, &pointerListener, nullptr);
        }
    },
    [](void*, wl_seat*, const char*) {}};

const xdg_wm_base_listener wmBaseListener = {
    [](void*, xdg_wm_base* b, uint32_t serial) { xdg_wm_base_pong(b, serial); }};

int width = 0, height = 0;

const xdg_toplevel_listener toplevelListener = {
    [](void*, xdg_toplevel*, int32_t w, int32_t h, wl_array*) {
        width = w;
        height = h;
    },
    [](void*, xdg_toplevel*) {}, [](void*, xdg_toplevel*, int32_t, int32_t) {},
    [](void*, xdg_toplevel*, wl_array*) {}};

const xdg_surface_listener xdgSurfaceListener = {[](void*, xdg_surface* x, uint32_t serial) {
    xdg_surface_ack_configure(x, serial);
    wl_buffer* b = whiteBuffer(width > 0 ? width : 640, height > 0 ? height : 480);
    wl_surface_attach(surface, b, 0, 0);
    wl_surface_damage(surface, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(surface);
    say("mapped");
}};

const wl_registry_listener registryListener = {
    [](void*, wl_registry* r, uint32_t name, const char* iface, uint32_t) {
        const std::string i = iface;
        if (i == wl_compositor_interface.name) {
            compositor =
                static_cast<wl_compositor*>(wl_registry_bind(r, name, &wl_compositor_interface, 4));
        } else if (i == wl_shm_interface.name) {
            shm = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
        } else if (i == wl_seat_interface.name) {
            seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 5));
            wl_seat_add_listener(seat, &seatListener, nullptr);
        } else if (i == xdg_wm_base_interface.name) {
            wmBase =
                static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
            xdg_wm_base_add_listener(wmBase, &wmBaseListener, nullptr);
        } else if (i == zwlr_layer_shell_v1_interface.name) {
            layerShell = static_cast<zwlr_layer_shell_v1*>(
                wl_registry_bind(r, name, &zwlr_layer_shell_v1_interface, 1));
        } else if (i == zwlr_virtual_pointer_manager_v1_interface.name) {
            pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
        }
    },
    [](void*, wl_registry*, uint32_t) {}};

}  // namespace

const zwlr_layer_surface_v1_listener panelListener = {
    [](void*, zwlr_layer_surface_v1* l, uint32_t serial, uint32_t w, uint32_t h) {
        zwlr_layer_surface_v1_ack_configure(l, serial);
        wl_surface_attach(surface, whiteBuffer(static_cast<int>(w), static_cast<int>(h)), 0, 0);
        wl_surface_damage(surface, 0, 0, INT32_MAX, INT32_MAX);
        wl_surface_commit(surface);
        say("mapped");
    },
    [](void*, zwlr_layer_surface_v1*) {}};

void makePanel(int height) {
    zwlr_layer_surface_v1* l = zwlr_layer_shell_v1_get_layer_surface(
        layerShell, surface, nullptr, ZWLR_LAYER_SHELL_V1_LAYER_TOP, "panel");
    zwlr_layer_surface_v1_add_listener(l, &panelListener, nullptr);
    zwlr_layer_surface_v1_set_anchor(l, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                            ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                            ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(l, 0, static_cast<uint32_t>(height));
    zwlr_layer_surface_v1_set_exclusive_zone(l, height);
    wl_surface_commit(surface);
}

int main(int argc, char** argv) {
    wl_display* d = wl_display_connect(nullptr);
    if (!d) {
        std::fprintf(stderr, "no compositor\n");
        return 1;
    }
    wl_registry* r = wl_display_get_registry(d);
    wl_registry_add_listener(r, &registryListener, nullptr);
    wl_display_roundtrip(d);
    if (!compositor || !shm || !wmBase) return 1;
    if (pointers) zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
    surface = wl_compositor_create_surface(compositor);
    if (argc == 3 && std::string(argv[1]) == "panel" && layerShell) {
        makePanel(std::stoi(argv[2]));
        while (wl_display_dispatch(d) >= 0) {
        }
        return 0;
    }
    xdg_surface* xs = xdg_wm_base_get_xdg_surface(wmBase, surface);
    xdg_surface_add_listener(xs, &xdgSurfaceListener, nullptr);
    xdg_toplevel* top = xdg_surface_get_toplevel(xs);
    xdg_toplevel_add_listener(top, &toplevelListener, nullptr);
    xdg_toplevel_set_title(top, "veskosd-test-client");
    wl_surface_commit(surface);
    while (wl_display_dispatch(d) >= 0) {
    }
    return 0;
}
