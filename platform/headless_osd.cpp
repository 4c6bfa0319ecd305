#include "platform/headless_osd.h"

namespace platform {

HeadlessOsd::HeadlessOsd(int screenWidth, int screenHeight, int dockHeight)
    : monitor_{0, 0, screenWidth, screenHeight}, dockH_(dockHeight) {}

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

Rect HeadlessOsd::primaryMonitor() {
    std::lock_guard lock(m_);
    return monitor_;
}

bool HeadlessOsd::taskbarRect(Rect& rect) {
    std::lock_guard lock(m_);
    if (dockH_ <= 0) return false;
    rect = {monitor_.left, monitor_.bottom - dockH_, monitor_.right, monitor_.bottom};
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
    changeMonitor({0, 0, width, height}, dockHeight);
}

void HeadlessOsd::changeMonitor(Rect monitor, int dockHeight) {
    std::function<void()> notify;
    {
        std::lock_guard lock(m_);
        monitor_ = monitor;
        dockH_ = dockHeight;
        notify = displayChanged_;
    }
    if (notify) notify();
}

}  // namespace platform
