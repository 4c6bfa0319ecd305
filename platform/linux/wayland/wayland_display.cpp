#include "platform/linux/wayland/wayland_display.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "base/os.h"
#include "fractional-scale-v1-client.h"
#include "platform/linux/wayland/layer_shell.h"
#include "viewporter-client.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

namespace platform::linux_adapter {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kAnswerLimit = std::chrono::seconds(2);

void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t) {}
void outputMode(void* data, wl_output*, uint32_t flags, int32_t w, int32_t h, int32_t) {
    auto* o = static_cast<WaylandOutput*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        o->modeWidth = w;
        o->modeHeight = h;
    }
}
// Users hear of an output once it is complete: with xdg-output, once its name has come too.
void outputDone(void* data, wl_output*) {
    auto* o = static_cast<WaylandOutput*>(data);
    if (!o->xdgOutput || !o->name.empty()) o->globals->outputsChanged = true;
}
void outputScale(void* data, wl_output*, int32_t factor) {
    static_cast<WaylandOutput*>(data)->scale = factor > 0 ? factor : 1;
}
void outputName(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDone,
                                            outputScale,    outputName, outputName};

void xdgPosition(void*, zxdg_output_v1*, int32_t, int32_t) {}
void xdgSize(void* data, zxdg_output_v1*, int32_t w, int32_t h) {
    auto* o = static_cast<WaylandOutput*>(data);
    o->logicalWidth = w;
    o->logicalHeight = h;
}
void xdgDone(void*, zxdg_output_v1*) {}
void xdgName(void* data, zxdg_output_v1*, const char* name) {
    static_cast<WaylandOutput*>(data)->name = name ? name : "";
}
void xdgDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {xdgPosition, xdgSize, xdgDone, xdgName,
                                                    xdgDescription};

void watchOutput(WaylandGlobals& g, WaylandOutput& o) {
    if (g.xdgOutputs && o.output && !o.xdgOutput) {
        o.xdgOutput = zxdg_output_manager_v1_get_xdg_output(g.xdgOutputs, o.output);
        zxdg_output_v1_add_listener(o.xdgOutput, &kXdgOutputListener, &o);
    }
}

void seatCapabilities(void* data, wl_seat*, uint32_t caps) {
    auto& g = *static_cast<WaylandGlobals*>(data);
    const bool keyboard = (caps & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    if (keyboard != g.keyboard) g.seatChanged = true;
    g.keyboard = keyboard;
}
void seatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {seatCapabilities, seatName};

template <class T>
T* bind(wl_registry* r, uint32_t name, const wl_interface* iface, uint32_t offered,
        uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(r, name, iface, std::min(offered, wanted)));
}

void registryGlobal(void* data, wl_registry* r, uint32_t name, const char* iface,
                    uint32_t version) {
    auto& g = *static_cast<WaylandGlobals*>(data);
    const std::string i = iface;
    if (i == wl_compositor_interface.name && !g.compositor) {
        g.compositor = bind<wl_compositor>(r, name, &wl_compositor_interface, version, 4);
    } else if (i == wl_shm_interface.name && !g.shm) {
        g.shm = bind<wl_shm>(r, name, &wl_shm_interface, version, 1);
    } else if (i == wl_seat_interface.name && !g.seat) {
        g.seat = bind<wl_seat>(r, name, &wl_seat_interface, version, 5);
        wl_seat_add_listener(g.seat, &kSeatListener, &g);
    } else if (i == zwlr_layer_shell_v1_interface.name && !g.layerShell) {
        g.layerShell =
            bind<zwlr_layer_shell_v1>(r, name, &zwlr_layer_shell_v1_interface, version, 2);
    } else if (i == zxdg_output_manager_v1_interface.name && !g.xdgOutputs) {
        g.xdgOutputs =
            bind<zxdg_output_manager_v1>(r, name, &zxdg_output_manager_v1_interface, version, 3);
        for (auto& o : g.outputs) watchOutput(g, *o);
    } else if (i == zwp_virtual_keyboard_manager_v1_interface.name && !g.virtualKeyboards) {
        g.virtualKeyboards = bind<zwp_virtual_keyboard_manager_v1>(
            r, name, &zwp_virtual_keyboard_manager_v1_interface, version, 1);
    } else if (i == wp_viewporter_interface.name && !g.viewporter) {
        g.viewporter = bind<wp_viewporter>(r, name, &wp_viewporter_interface, version, 1);
    } else if (i == wp_fractional_scale_manager_v1_interface.name && !g.fractionalScales) {
        g.fractionalScales = bind<wp_fractional_scale_manager_v1>(
            r, name, &wp_fractional_scale_manager_v1_interface, version, 1);
    } else if (i == wl_output_interface.name) {
        auto o = std::make_unique<WaylandOutput>();
        o->globals = &g;
        o->globalName = name;
        o->output = bind<wl_output>(r, name, &wl_output_interface, version, 2);
        wl_output_add_listener(o->output, &kOutputListener, o.get());
        watchOutput(g, *o);
        g.outputs.push_back(std::move(o));
    }
}

void destroyOutput(WaylandOutput& o) {
    if (o.xdgOutput) zxdg_output_v1_destroy(o.xdgOutput);
    if (o.output) wl_output_destroy(o.output);
}

void registryRemove(void* data, wl_registry*, uint32_t name) {
    auto& g = *static_cast<WaylandGlobals*>(data);
    auto it = std::find_if(g.outputs.begin(), g.outputs.end(),
                           [name](const auto& o) { return o->globalName == name; });
    if (it == g.outputs.end()) return;
    destroyOutput(**it);
    g.outputs.erase(it);
    g.outputsChanged = true;
}

const wl_registry_listener kRegistryListener = {registryGlobal, registryRemove};

void destroyGlobals(WaylandGlobals& g) {
    for (auto& o : g.outputs) destroyOutput(*o);
    g.outputs.clear();
    if (g.virtualKeyboards) zwp_virtual_keyboard_manager_v1_destroy(g.virtualKeyboards);
    if (g.fractionalScales) wp_fractional_scale_manager_v1_destroy(g.fractionalScales);
    if (g.viewporter) wp_viewporter_destroy(g.viewporter);
    if (g.xdgOutputs) zxdg_output_manager_v1_destroy(g.xdgOutputs);
    if (g.layerShell) zwlr_layer_shell_v1_destroy(g.layerShell);
    if (g.seat) wl_seat_destroy(g.seat);
    if (g.shm) wl_shm_destroy(g.shm);
    if (g.compositor) wl_compositor_destroy(g.compositor);
    if (g.registry) wl_registry_destroy(g.registry);
    if (g.display) wl_display_disconnect(g.display);
    g = WaylandGlobals{};
}

void syncDone(void* data, wl_callback*, uint32_t) {
    *static_cast<bool*>(data) = true;
}
const wl_callback_listener kSyncListener = {syncDone};

// A round trip that gives up at `deadline` instead of waiting for a compositor that does not
// answer. Only for a connection no other thread uses yet.
bool roundtrip(wl_display* d, Clock::time_point deadline) {
    bool done = false;
    wl_callback* cb = wl_display_sync(d);
    wl_callback_add_listener(cb, &kSyncListener, &done);
    bool ok = true;
    while (!done && ok) {
        while (wl_display_prepare_read(d) != 0) {
            if (wl_display_dispatch_pending(d) < 0) ok = false;
            if (!ok || done) break;
        }
        if (!ok || done) {
            if (ok) break;
            break;
        }
        if (wl_display_flush(d) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(d);
            ok = false;
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{wl_display_get_fd(d), POLLIN, 0};
        const int n = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (n <= 0) {
            wl_display_cancel_read(d);
            ok = n < 0 && errno == EINTR;
            continue;
        }
        if (wl_display_read_events(d) < 0 || wl_display_dispatch_pending(d) < 0) ok = false;
    }
    wl_callback_destroy(cb);
    return ok && done;
}

}  // namespace

std::unique_ptr<WaylandGlobals> WaylandDisplay::connect(const std::string& name,
                                                        std::string& error) {
    wl_display* d = wl_display_connect(name.empty() ? nullptr : name.c_str());
    if (!d) {
        error = "no Wayland compositor at " + (name.empty() ? std::string("the default") : name) +
                ": " + std::generic_category().message(errno);
        return nullptr;
    }
    auto g = std::make_unique<WaylandGlobals>();
    g->display = d;
    g->registry = wl_display_get_registry(d);
    wl_registry_add_listener(g->registry, &kRegistryListener, g.get());
    const auto deadline = Clock::now() + kAnswerLimit;
    // The second trip brings the outputs' modes, scales and names.
    if (!roundtrip(d, deadline) || !roundtrip(d, deadline)) {
        error = "the Wayland compositor did not answer";
        destroyGlobals(*g);
        return nullptr;
    }
    if (!g->compositor || !g->shm) {
        error = "the Wayland compositor offers no wl_compositor or wl_shm";
        destroyGlobals(*g);
        return nullptr;
    }
    g->outputsChanged = false;
    g->seatChanged = false;
    return g;
}

std::shared_ptr<WaylandDisplay> WaylandDisplay::open(const std::string& name, std::string& error) {
    auto g = connect(name, error);
    if (!g) return nullptr;
    std::shared_ptr<WaylandDisplay> w(new WaylandDisplay(name));
    w->hasLayerShell_ = g->layerShell != nullptr;
    w->globals_ = std::move(g);
    w->wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return w;
}

WaylandDisplay::~WaylandDisplay() {
    stop_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
    std::lock_guard g(m_);
    for (Client* c : clients_) c->connectionLost();
    if (globals_) destroyGlobals(*globals_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void WaylandDisplay::addClient(Client* c) {
    std::lock_guard g(m_);
    clients_.push_back(c);
}

void WaylandDisplay::removeClient(Client* c) {
    std::lock_guard g(m_);
    std::erase(clients_, c);
}

void WaylandDisplay::later(std::function<void()> f) {
    later_.push_back(std::move(f));
    wake();
}

void WaylandDisplay::flush() {
    if (!globals_) return;
    if (wl_display_flush(globals_->display) < 0) {
        // A full socket is drained by the event thread; a broken one is found there too.
        wantWrite_ = true;
        wake();
    }
}

void WaylandDisplay::wake() {
    if (wakeFd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void WaylandDisplay::start() {
    std::call_once(started_, [this] { thread_ = std::thread([this] { run(); }); });
}

// Under the lock: every user forgets its objects, then the connection is closed.
void WaylandDisplay::lose() {
    for (Client* c : clients_) c->connectionLost();
    if (globals_) destroyGlobals(*globals_);
    globals_.reset();
}

void WaylandDisplay::run() {
    base::os::nameThisThread("wayland-events");
    auto retry = std::chrono::milliseconds(250);
    while (!stop_) {
        std::vector<std::function<void()>> calls;
        std::unique_lock l(m_);
        if (!globals_) {
            l.unlock();
            pollfd w{wakeFd_, POLLIN, 0};
            poll(&w, 1, static_cast<int>(retry.count()));
            uint64_t drained = 0;
            [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &drained, sizeof drained);
            if (stop_) break;
            std::string error;
            auto g = connect(name_, error);
            l.lock();
            if (!g) {
                retry = std::min(retry * 2, std::chrono::milliseconds(2000));
                calls.swap(later_);
                l.unlock();
                for (auto& f : calls) f();
                continue;
            }
            retry = std::chrono::milliseconds(250);
            globals_ = std::move(g);
            for (Client* c : clients_) c->outputsChanged();
            for (Client* c : clients_) c->seatChanged();
            wl_display_flush(globals_->display);
        }
        wl_display* d = globals_->display;
        bool broken = false;
        while (wl_display_prepare_read(d) != 0) {
            if (wl_display_dispatch_pending(d) < 0) {
                broken = true;
                break;
            }
        }
        if (!broken) {
            wantWrite_ = false;
            if (wl_display_flush(d) < 0) {
                if (errno == EAGAIN) {
                    wantWrite_ = true;
                } else {
                    wl_display_cancel_read(d);
                    broken = true;
                }
            }
        }
        if (broken) {
            lose();
            calls.swap(later_);
            l.unlock();
            for (auto& f : calls) f();
            continue;
        }
        const bool write = wantWrite_;
        l.unlock();

        pollfd p[2] = {
            {wl_display_get_fd(d), static_cast<short>(POLLIN | (write ? POLLOUT : 0)), 0},
            {wakeFd_, POLLIN, 0}};
        const int n = poll(p, 2, -1);
        if (p[1].revents & POLLIN) {
            uint64_t drained = 0;
            [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &drained, sizeof drained);
        }
        if (n > 0 && (p[0].revents & POLLIN)) {
            broken = wl_display_read_events(d) < 0;
        } else {
            wl_display_cancel_read(d);
            broken = n > 0 && (p[0].revents & (POLLERR | POLLHUP));
        }

        l.lock();
        if (!broken && wl_display_dispatch_pending(d) < 0) broken = true;
        if (broken) {
            lose();
        } else {
            if (globals_->outputsChanged) {
                globals_->outputsChanged = false;
                for (Client* c : clients_) c->outputsChanged();
            }
            if (globals_->seatChanged) {
                globals_->seatChanged = false;
                for (Client* c : clients_) c->seatChanged();
            }
            wl_display_flush(d);
        }
        calls.swap(later_);
        l.unlock();
        for (auto& f : calls) f();
    }
}

}  // namespace platform::linux_adapter
