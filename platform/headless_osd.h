// An OSD window that exists only in memory: its last frame, alpha and rectangle, on a screen of
// a given size with a dock strip at the bottom.
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
    void screenSize(int& width, int& height) override;
    bool taskbarRect(Rect& rect) override;
    void present(const Pixels& client) override;
    Pixels screenshot() const override;

    // A new screen size; the window hears of it as from the display.
    void changeScreen(int width, int height, int dockHeight);

private:
    mutable std::mutex m_;
    std::atomic<uint8_t> alpha_{0};
    int screenW_, screenH_, dockH_;
    Rect rect_;
    Pixels frame_;
    std::function<void()> displayChanged_;
};

}  // namespace platform
