// The OSD as a layered, topmost, click-through popup with a one-pixel border, owned by a thread
// of its own that pumps its messages (a window belongs to the thread that made it). Its alpha is
// the layered alpha; at 0 the window is also hidden, so that it leaves the screen where nothing
// composes layered windows.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/osd_surface.h"

namespace platform::win32 {

class LayeredOsd final : public OsdSurface {
public:
    LayeredOsd() = default;
    LayeredOsd(const LayeredOsd&) = delete;
    LayeredOsd& operator=(const LayeredOsd&) = delete;
    ~LayeredOsd() override;

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

    // The window's HWND once prepared.
    void* handle() const { return hwnd_.load(); }

    // Window procedure's share, on the window's thread.
    void paintWindow(void* hdc, bool wholeWindow);
    void notifyDisplayChanged();

private:
    std::atomic<void*> hwnd_{nullptr};
    std::thread thread_;
    std::atomic<uint8_t> alpha_{0};
    // Orders the alpha and the window's visibility between the GUI and fade threads; never held
    // by the window's own thread, which the calls under it wait for.
    std::mutex alphaMutex_;
    bool shown_ = false;

    mutable std::mutex m_;
    Rect rect_;
    Pixels composed_;
    bool taskbarSeen_ = false;
    std::function<void()> displayChanged_;
};

}  // namespace platform::win32
