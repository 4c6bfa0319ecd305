// The OSD as a layer-shell surface on the overlay layer: anchored to the bottom-left corner of
// its output with margins that put it where the core placed it, clicks passing through, no
// keyboard, no exclusive zone. Each alpha is painted into the buffer; at alpha 0 the surface is
// destroyed, so nothing of it is left on screen. The dock is what panels' exclusive zones take of
// the output's height, taken to lie at its bottom (a client is never told where they are); with
// none, the 40-pixel strip. `output` is "focused" (the compositor's choice,
// normally the output last used), "all", or an output's name.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/wayland/shm_buffer.h"
#include "platform/linux/wayland/wayland_display.h"
#include "platform/osd_surface.h"

struct wl_surface;
struct zwlr_layer_surface_v1;
struct wp_viewport;
struct wp_fractional_scale_v1;

namespace platform::linux_adapter {

class WaylandOsd final : public OsdSurface, private WaylandDisplay::Client {
public:
    WaylandOsd(std::shared_ptr<WaylandDisplay> display, std::string output);
    ~WaylandOsd() override;

    void prepare(std::function<void()> displayChanged) override;
    void setAlpha(uint8_t alpha) override;
    uint8_t alpha() const override { return alpha_; }
    void raise() override {}
    void move(int x, int y, int width, int height) override;
    Rect windowRect() const override;
    Rect clientRect() const override;
    Rect primaryMonitor() override;
    bool taskbarRect(Rect& rect) override;
    void present(const Pixels& client) override;
    Pixels screenshot() const override;

    // For tests: surfaces on screen or on their way there.
    std::size_t surfaces();

    struct Surface {
        WaylandOsd* owner = nullptr;
        std::string outputName;  // empty: the compositor's choice
        wl_surface* surface = nullptr;
        zwlr_layer_surface_v1* layer = nullptr;
        wp_viewport* viewport = nullptr;
        wp_fractional_scale_v1* fractional = nullptr;
        uint32_t scale120 = 0;  // the compositor's preferred scale in 120ths; 0: not told
        bool configured = false;
        std::string entered;  // the output it was last seen on
        int width = 0, height = 0, left = 0, bottom = 0, scale = 0;
    };

    // An unmapped surface that fills what other surfaces' exclusive zones leave of an output:
    // its configured height tells how much of the output's height panels take.
    struct Probe {
        WaylandOsd* owner = nullptr;
        std::string outputName;
        wl_surface* surface = nullptr;
        zwlr_layer_surface_v1* layer = nullptr;
    };

    // Listener calls, under the display's lock.
    void configured(Surface& s);
    void closed(Surface& s);
    void preferredScale(Surface& s, uint32_t scale120);
    void probed(Probe& p, uint32_t height);

private:
    void connectionLost() override;
    void outputsChanged() override;
    void updateLocked();
    void createLocked(WaylandGlobals& g, const std::string& outputName);
    void placeLocked(WaylandGlobals& g, Surface& s);
    int scaleLocked(WaylandGlobals& g, const Surface& s);
    void drawLocked(WaylandGlobals& g, Surface& s);
    void destroyLocked(Surface& s);
    void probeLocked(WaylandGlobals& g);
    void destroyProbesLocked();
    // The height panels take at the bottom of the named output; 0 when none or not known.
    int panelsLocked(WaylandGlobals& g, const std::string& name);
    WaylandOutput* outputNamed(WaylandGlobals& g, const std::string& name);
    WaylandOutput* monitorOutputLocked(WaylandGlobals& g);

    static void enter(void* data, wl_surface* surface, struct wl_output* output);
    static void leave(void* data, wl_surface* surface, struct wl_output* output);

    std::shared_ptr<WaylandDisplay> display_;
    const std::string output_;
    std::atomic<uint8_t> alpha_{0};
    // Guarded by the display's lock.
    Rect rect_;
    Rect monitor_;
    std::string monitorName_;
    std::string lastEntered_;
    Pixels composed_;
    ShmBuffers buffers_;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    std::vector<std::unique_ptr<Probe>> probes_;
    std::map<std::string, int> usableHeight_;
    std::function<void()> displayChanged_;
};

}  // namespace platform::linux_adapter
