// The OSD as an X11 window: override-redirect, topmost, click-through, with a 32-bit ARGB
// visual where the server has one. Without a compositor alpha cannot blend, so the window is
// mapped while its alpha is above 0 and unmapped at 0. Without a server the calls only record
// what they were asked; a new server gets a new window with that state.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/linux/x11/x11_connection.h"
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
    Rect primaryMonitor() override;
    bool taskbarRect(Rect& rect) override;
    void present(const Pixels& client) override;
    Pixels screenshot() const override;

    // For tests: the window's id.
    ::Window window() const {
        std::lock_guard g(m_);
        return win_;
    }

private:
    void createWindow(const X11Connection::Session& s);
    void applyAlphaLocked(Display* d);
    void onEvent(const XEvent& ev);
    void onReconnect();
    void paintLocked(Display* d);

    std::shared_ptr<X11Connection> x_;
    ::Window win_ = 0;
    Atom opacityAtom_ = None;
    VisualID visualId_ = 0;
    int depth_ = 24;
    std::atomic<int> randrEventBase_{-1};
    int handler_ = 0;
    int reconnectHandler_ = 0;

    std::atomic<uint8_t> alpha_{0};
    mutable std::mutex m_;
    Rect rect_;
    Pixels composed_;
    bool mapped_ = false;
    bool dockSeen_ = false;
    std::function<void()> displayChanged_;
};

}  // namespace platform::linux_adapter
