// The OSD as an X11 window: override-redirect, topmost, click-through, with a 32-bit ARGB
// visual where the server has one. Without a compositor alpha cannot blend, so the window is
// mapped while its alpha is above 0 and unmapped at 0.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <memory>

#include "platform/linux/x11_connection.h"
#include "platform/osd_surface.h"

namespace platform::linux_adapter {

class X11Osd final : public OsdSurface {
public:
    explicit X11Osd(std::shared_ptr<X11Connection> x);
    ~X11Osd() override;

    void prepare(std::function<void()> displayChanged) override;
    void setAlpha(uint8_t alpha) override;
    uint8_t alpha() const override { return alpha_; }
    void raise() override;
    void move(int x, int y, int width, int height) override;
    Rect windowRect() const override;
    Rect clientRect() const override;
    void screenSize(int& width, int& height) override;
    bool taskbarRect(Rect& rect) override;
    void present(const Pixels& client) override;
    Pixels screenshot() const override;

    // For tests: the window's id and whether it is mapped now.
    ::Window window() const { return win_; }

private:
    void onEvent(const XEvent& ev);
    void paintLocked();
    bool compositorRunning();

    std::shared_ptr<X11Connection> x_;
    ::Window win_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 24;
    GC gc_ = nullptr;
    int randrEventBase_ = -1;
    int handler_ = 0;

    std::atomic<uint8_t> alpha_{0};
    mutable std::mutex m_;
    Rect rect_;
    Pixels composed_;
    bool mapped_ = false;
    bool dockSeen_ = false;
    std::function<void()> displayChanged_;
};

}  // namespace platform::linux_adapter
