#include "platform/linux/wayland/wayland_osd.h"

#include <wayland-client.h>

#include <algorithm>

#include "fractional-scale-v1-client.h"
#include "platform/linux/wayland/layer_shell.h"
#include "viewporter-client.h"

namespace platform::linux_adapter {

namespace {

// The dock strip assumed at the bottom of an output: a layer-shell client cannot see the panels.
constexpr int kDefaultDockHeight = 40;

const zwlr_layer_surface_v1_listener kLayerListener = {
    [](void* data, zwlr_layer_surface_v1* l, uint32_t serial, uint32_t w, uint32_t h) {
        auto* s = static_cast<WaylandOsd::Surface*>(data);
        zwlr_layer_surface_v1_ack_configure(l, serial);
        static_cast<void>(w);
        static_cast<void>(h);
        s->owner->configured(*s);
    },
    [](void* data, zwlr_layer_surface_v1*) {
        auto* s = static_cast<WaylandOsd::Surface*>(data);
        s->owner->closed(*s);
    }};

const wp_fractional_scale_v1_listener kFractionalListener = {
    [](void* data, wp_fractional_scale_v1*, uint32_t scale120) {
        auto* s = static_cast<WaylandOsd::Surface*>(data);
        s->owner->preferredScale(*s, scale120);
    }};

const zwlr_layer_surface_v1_listener kProbeListener = {
    [](void* data, zwlr_layer_surface_v1* l, uint32_t serial, uint32_t, uint32_t h) {
        zwlr_layer_surface_v1_ack_configure(l, serial);
        auto* p = static_cast<WaylandOsd::Probe*>(data);
        p->owner->probed(*p, h);
    },
    [](void*, zwlr_layer_surface_v1*) {}};

}  // namespace

WaylandOsd::WaylandOsd(std::shared_ptr<WaylandDisplay> display, std::string output)
    : display_(std::move(display)), output_(std::move(output)) {
    // From here on it hears of a lost compositor, whose objects it must not touch again.
    display_->addClient(this);
    display_->start();
}

WaylandOsd::~WaylandOsd() {
    display_->removeClient(this);
    auto l = display_->lock();
    for (auto& s : surfaces_) destroyLocked(*s);
    surfaces_.clear();
    destroyProbesLocked();
    buffers_.forget();
    display_->flush();
}

void WaylandOsd::prepare(std::function<void()> displayChanged) {
    {
        auto l = display_->lock();
        displayChanged_ = std::move(displayChanged);
    }
    {
        auto l = display_->lock();
        if (WaylandGlobals* g = display_->globals()) probeLocked(*g);
    }
    display_->start();
    setAlpha(0);
}

void WaylandOsd::setAlpha(uint8_t alpha) {
    auto l = display_->lock();
    alpha_ = alpha;
    updateLocked();
}

void WaylandOsd::move(int x, int y, int width, int height) {
    auto l = display_->lock();
    rect_ = {x, y, x + width, y + height};
    updateLocked();
}

Rect WaylandOsd::windowRect() const {
    auto l = display_->lock();
    return rect_;
}

Rect WaylandOsd::clientRect() const {
    auto l = display_->lock();
    return {0, 0, rect_.width() > 2 ? rect_.width() - 2 : 0,
            rect_.height() > 2 ? rect_.height() - 2 : 0};
}

WaylandOutput* WaylandOsd::outputNamed(WaylandGlobals& g, const std::string& name) {
    for (auto& o : g.outputs) {
        if (o->name == name) return o.get();
    }
    return nullptr;
}

// The output whose logical pixels the core places the bar in: the named one, else the one the
// bar last appeared on, else the first.
WaylandOutput* WaylandOsd::monitorOutputLocked(WaylandGlobals& g) {
    if (g.outputs.empty()) return nullptr;
    if (output_ != "focused" && output_ != "all") {
        if (WaylandOutput* o = outputNamed(g, output_)) return o;
    }
    if (output_ == "focused") {
        if (WaylandOutput* o = outputNamed(g, lastEntered_)) return o;
    }
    return g.outputs.front().get();
}

Rect WaylandOsd::primaryMonitor() {
    auto l = display_->lock();
    WaylandGlobals* g = display_->globals();
    WaylandOutput* o = g ? monitorOutputLocked(*g) : nullptr;
    if (!o) return {};
    monitor_ = {0, 0, o->width(), o->height()};
    monitorName_ = o->name;
    return monitor_;
}

bool WaylandOsd::taskbarRect(Rect& rect) {
    auto l = display_->lock();
    WaylandGlobals* g = display_->globals();
    const int panels = g ? panelsLocked(*g, monitorName_) : 0;
    rect = {monitor_.left, monitor_.bottom - (panels > 0 ? panels : kDefaultDockHeight),
            monitor_.right, monitor_.bottom};
    return true;
}

int WaylandOsd::panelsLocked(WaylandGlobals& g, const std::string& name) {
    const WaylandOutput* out = outputNamed(g, name);
    const auto it = usableHeight_.find(name);
    if (!out || it == usableHeight_.end() || it->second <= 0) return 0;
    return std::max(0, out->height() - it->second);
}

void WaylandOsd::probeLocked(WaylandGlobals& g) {
    destroyProbesLocked();
    if (!g.layerShell) return;
    for (auto& o : g.outputs) {
        auto p = std::make_unique<Probe>();
        p->owner = this;
        p->outputName = o->name;
        p->surface = wl_compositor_create_surface(g.compositor);
        p->layer = zwlr_layer_shell_v1_get_layer_surface(
            g.layerShell, p->surface, o->output, ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "veskosd");
        zwlr_layer_surface_v1_add_listener(p->layer, &kProbeListener, p.get());
        zwlr_layer_surface_v1_set_anchor(
            p->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                          ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_size(p->layer, 0, 0);
        wl_surface_commit(p->surface);
        probes_.push_back(std::move(p));
    }
    display_->flush();
}

void WaylandOsd::destroyProbesLocked() {
    for (auto& p : probes_) {
        zwlr_layer_surface_v1_destroy(p->layer);
        wl_surface_destroy(p->surface);
    }
    probes_.clear();
    usableHeight_.clear();
}

void WaylandOsd::probed(Probe& p, uint32_t height) {
    usableHeight_[p.outputName] = static_cast<int>(height);
}

void WaylandOsd::present(const Pixels& client) {
    auto l = display_->lock();
    composed_ = composeWindowImage(client, rect_.width(), rect_.height());
    updateLocked();
}

Pixels WaylandOsd::screenshot() const {
    auto l = display_->lock();
    return applyAlpha(composed_, alpha_);
}

std::size_t WaylandOsd::surfaces() {
    auto l = display_->lock();
    return surfaces_.size();
}

// Shown: a surface per wanted output, each painted at the current alpha once configured.
// Hidden: no surface at all.
void WaylandOsd::updateLocked() {
    WaylandGlobals* g = display_->globals();
    if (!g || !g->layerShell) return;
    const bool shown = alpha_ != 0 && composed_.width > 0 && composed_.height > 0;
    if (!shown) {
        for (auto& s : surfaces_) destroyLocked(*s);
        surfaces_.clear();
        display_->flush();
        return;
    }
    if (surfaces_.empty()) {
        if (output_ == "all") {
            for (auto& o : g->outputs) createLocked(*g, o->name);
        } else if (output_ != "focused" && outputNamed(*g, output_)) {
            createLocked(*g, output_);
        } else {
            createLocked(*g, "");
        }
    }
    for (auto& s : surfaces_) drawLocked(*g, *s);
    display_->flush();
}

void WaylandOsd::createLocked(WaylandGlobals& g, const std::string& outputName) {
    auto s = std::make_unique<Surface>();
    s->owner = this;
    s->outputName = outputName;
    s->surface = wl_compositor_create_surface(g.compositor);
    static const wl_surface_listener surfaceListener = {enter, leave};
    wl_surface_add_listener(s->surface, &surfaceListener, s.get());
    // Clicks pass through to whatever lies below.
    wl_region* none = wl_compositor_create_region(g.compositor);
    wl_surface_set_input_region(s->surface, none);
    wl_region_destroy(none);
    WaylandOutput* out = outputName.empty() ? nullptr : outputNamed(g, outputName);
    s->layer =
        zwlr_layer_shell_v1_get_layer_surface(g.layerShell, s->surface, out ? out->output : nullptr,
                                              ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "veskosd");
    zwlr_layer_surface_v1_add_listener(s->layer, &kLayerListener, s.get());
    // Where the compositor scales by fractions, the buffer is made at its preferred scale and
    // shown at the logical size through a viewport.
    if (g.fractionalScales && g.viewporter) {
        s->fractional =
            wp_fractional_scale_manager_v1_get_fractional_scale(g.fractionalScales, s->surface);
        wp_fractional_scale_v1_add_listener(s->fractional, &kFractionalListener, s.get());
        s->viewport = wp_viewporter_get_viewport(g.viewporter, s->surface);
    }
    zwlr_layer_surface_v1_set_anchor(
        s->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    zwlr_layer_surface_v1_set_exclusive_zone(s->layer, 0);
    zwlr_layer_surface_v1_set_keyboard_interactivity(s->layer, 0);
    placeLocked(g, *s);
    wl_surface_commit(s->surface);
    surfaces_.push_back(std::move(s));
}

// The core's rectangle as margins from the output's bottom-left corner; on an output narrower
// or lower than the one it was placed on (--osd-output all), pulled in to stay whole.
void WaylandOsd::placeLocked(WaylandGlobals& g, Surface& s) {
    const std::string& name = s.outputName.empty() ? monitorName_ : s.outputName;
    const WaylandOutput* out = outputNamed(g, name);
    int left = rect_.left - monitor_.left;
    // Anchored with no exclusive zone of its own, the surface is placed inside what the panels
    // leave: its margin counts from their top.
    const int panels = panelsLocked(g, name);
    int bottom = monitor_.bottom - rect_.bottom - panels;
    if (out && out->width() > 0) left = std::max(0, std::min(left, out->width() - rect_.width()));
    if (out && out->height() > 0) {
        bottom = std::max(0, std::min(bottom, out->height() - panels - rect_.height()));
    }
    if (s.width == rect_.width() && s.height == rect_.height() && s.left == left &&
        s.bottom == bottom) {
        return;
    }
    s.width = rect_.width();
    s.height = rect_.height();
    s.left = left;
    s.bottom = bottom;
    zwlr_layer_surface_v1_set_size(s.layer, static_cast<uint32_t>(std::max(1, s.width)),
                                   static_cast<uint32_t>(std::max(1, s.height)));
    zwlr_layer_surface_v1_set_margin(s.layer, 0, 0, bottom, left);
}

int WaylandOsd::scaleLocked(WaylandGlobals& g, const Surface& s) {
    const std::string& name =
        !s.entered.empty() ? s.entered : (s.outputName.empty() ? monitorName_ : s.outputName);
    const WaylandOutput* out = outputNamed(g, name);
    return out ? out->scale : 1;
}

void WaylandOsd::drawLocked(WaylandGlobals& g, Surface& s) {
    if (!s.configured) return;
    placeLocked(g, s);
    const bool fractional = s.viewport && s.scale120 > 0;
    const int scale = fractional ? 1 : scaleLocked(g, s);
    const auto scaled = [&](int logical) {
        return fractional
                   ? static_cast<int>((static_cast<int64_t>(logical) * s.scale120 + 60) / 120)
                   : logical * scale;
    };
    const Pixels frame =
        resample(applyAlpha(composed_, alpha_), scaled(composed_.width), scaled(composed_.height));
    wl_buffer* buffer = buffers_.make(g.shm, &frame);
    if (!buffer) return;
    s.scale = scale;
    wl_surface_set_buffer_scale(s.surface, scale);
    if (fractional) wp_viewport_set_destination(s.viewport, composed_.width, composed_.height);
    wl_surface_attach(s.surface, buffer, 0, 0);
    wl_surface_damage(s.surface, 0, 0, frame.width, frame.height);
    wl_surface_commit(s.surface);
}

void WaylandOsd::preferredScale(Surface& s, uint32_t scale120) {
    if (s.scale120 == scale120) return;
    s.scale120 = scale120;
    if (WaylandGlobals* g = display_->globals()) drawLocked(*g, s);
}

void WaylandOsd::destroyLocked(Surface& s) {
    if (s.viewport) wp_viewport_destroy(s.viewport);
    if (s.fractional) wp_fractional_scale_v1_destroy(s.fractional);
    s.viewport = nullptr;
    s.fractional = nullptr;
    if (s.layer) zwlr_layer_surface_v1_destroy(s.layer);
    if (s.surface) wl_surface_destroy(s.surface);
    s.layer = nullptr;
    s.surface = nullptr;
}

void WaylandOsd::configured(Surface& s) {
    // Only the first configure needs a picture; later ones echo a size already drawn.
    if (s.configured) return;
    s.configured = true;
    if (WaylandGlobals* g = display_->globals()) drawLocked(*g, s);
}

void WaylandOsd::closed(Surface& s) {
    destroyLocked(s);
    std::erase_if(surfaces_, [&s](const auto& p) { return p.get() == &s; });
}

void WaylandOsd::enter(void* data, wl_surface*, wl_output* output) {
    auto& s = *static_cast<Surface*>(data);
    WaylandOsd& self = *s.owner;
    WaylandGlobals* g = self.display_->globals();
    if (!g) return;
    for (auto& o : g->outputs) {
        if (o->output != output) continue;
        s.entered = o->name;
        if (!s.outputName.empty()) break;
        self.lastEntered_ = o->name;
        // The compositor chose another output than the one the bar was placed on: the core
        // places it again, on this one.
        if (o->name != self.monitorName_ &&
            (o->width() != self.monitor_.width() || o->height() != self.monitor_.height())) {
            if (self.displayChanged_) self.display_->later(self.displayChanged_);
        }
        break;
    }
    const bool fractional = s.viewport && s.scale120 > 0;
    if (s.configured && !fractional && self.scaleLocked(*g, s) != s.scale) self.drawLocked(*g, s);
}

void WaylandOsd::leave(void*, wl_surface*, wl_output*) {}

void WaylandOsd::connectionLost() {
    for (auto& s : surfaces_) destroyLocked(*s);
    surfaces_.clear();
    destroyProbesLocked();
    buffers_.forget();
}

// New outputs, lost ones, or a new compositor: the surfaces are made again, and the core places
// the bar anew as after a display change.
void WaylandOsd::outputsChanged() {
    for (auto& s : surfaces_) destroyLocked(*s);
    surfaces_.clear();
    if (WaylandGlobals* g = display_->globals()) probeLocked(*g);
    updateLocked();
    if (displayChanged_) display_->later(displayChanged_);
}

}  // namespace platform::linux_adapter
