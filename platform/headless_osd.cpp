#include "platform/headless_osd.h"

namespace platform {

HeadlessOsd::HeadlessOsd(int screenWidth, int screenHeight, int dockHeight)
    : screenW_(screenWidth), screenH_(screenHeight), dockH_(dockHeight) {}

void HeadlessOsd::prepare(std::function<void()> displayChanged) {
    std::lock_guard lock(m_);
    displayChanged_ = std::move(displayChanged);
    alpha_ = 0;
}

void HeadlessOsd::move(int x, int y, int width, int height) {
    std::lock_guard lock(m_);
    rect_ = {x, y, x + width, y + height};
}

Rect HeadlessOsd::windowRect() const {
    std::lock_guard lock(m_);
    return rect_;
}

Rect HeadlessOsd::clientRect() const {
    std::lock_guard lock(m_);
    const int w = rect_.width() > 2 ? rect_.width() - 2 : 0;
    const int h = rect_.height() > 2 ? rect_.height() - 2 : 0;
    return {0, 0, w, h};
}

void HeadlessOsd::screenSize(int& width, int& height) {
    std::lock_guard lock(m_);
    width = screenW_;
    height = screenH_;
}

bool HeadlessOsd::taskbarRect(Rect& rect) {
    std::lock_guard lock(m_);
    if (dockH_ <= 0) return false;
    rect = {0, screenH_ - dockH_, screenW_, screenH_};
    return true;
}

void HeadlessOsd::present(const Pixels& client) {
    std::lock_guard lock(m_);
    frame_ = client;
}

Pixels HeadlessOsd::screenshot() const {
    std::lock_guard lock(m_);
    return applyAlpha(composeWindowImage(frame_, rect_.width(), rect_.height()), alpha_);
}

void HeadlessOsd::changeScreen(int width, int height, int dockHeight) {
    std::function<void()> notify;
    {
        std::lock_guard lock(m_);
        screenW_ = width;
        screenH_ = height;
        dockH_ = dockHeight;
        notify = displayChanged_;
    }
    if (notify) notify();
}

}  // namespace platform
