// An OSD window that exists only in memory: its last frame, alpha and rectangle, on a primary
// monitor of a given size and place with a dock strip at its bottom.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/osd_surface.h"

namespace platform {

class HeadlessOsd final : public OsdSurface {
public:
    HeadlessOsd(int screenWidth = 1920, int screenHeight = 1080, int dockHeight = 40);

    void prepare(std::function<void()> displayChanged) override;
    void setAlpha(uint8_t alpha) override { alpha_ = alpha; }
    uint8_t alpha() const override { return alpha_; }
    void raise() override {}
    void move(int x, int y, int width, int height) override;
    Rect windowRect() const override;
    Rect clientRect() const override;
    Rect primaryMonitor() override;
    bool taskbarRect(Rect& rect) override;
    void present(const Pixels& client) override;
    Pixels screenshot() const override;

    // A new screen size, the primary monitor at the origin; the window hears of it as from the
    // display.
    void changeScreen(int width, int height, int dockHeight);
    void changeMonitor(Rect monitor, int dockHeight);

private:
    mutable std::mutex m_;
    std::atomic<uint8_t> alpha_{0};
    Rect monitor_;
    int dockH_;
    Rect rect_;
    Pixels frame_;
    std::function<void()> displayChanged_;
};

}  // namespace platform
