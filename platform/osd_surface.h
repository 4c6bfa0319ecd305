// The window the OSD is painted into: a layered, topmost, click-through popup with a one-pixel
// border, and the screen it sits on.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/canvas.h"

namespace platform {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// What a frame shows, for a surface that shows it other than as pixels.
struct OsdContent {
    enum class Kind { Nothing, Volume, Brightness };
    Kind kind = Kind::Nothing;
    int level = 0;  // percent
    bool muted = false;
    bool operator==(const OsdContent&) const = default;
};

class OsdSurface {
public:
    virtual ~OsdSurface() = default;
    // Makes the window layered and fully transparent. `displayChanged` is called, from any
    // thread, when the screen's size or layout changes.
    virtual void prepare(std::function<void()> displayChanged) = 0;
    // Layered alpha, 0 (invisible) to 255; any thread.
    virtual void setAlpha(uint8_t alpha) = 0;
    virtual uint8_t alpha() const = 0;
    virtual void raise() = 0;
    // Outer position and size, border included.
    virtual void move(int x, int y, int width, int height) = 0;
    virtual Rect windowRect() const = 0;
    // Inside the border, in client coordinates.
    virtual Rect clientRect() const = 0;
    // The primary monitor's rectangle in screen coordinates: it need not start at the origin.
    // Empty when there is no screen to be had.
    virtual Rect primaryMonitor() = 0;
    // The desktop's dock (taskbar); false when there is none.
    virtual bool taskbarRect(Rect& rect) = 0;
    // Shows a client-sized frame in the window.
    virtual void present(const Pixels& client) = 0;
    // What the next frame shows; called before present(). Painting surfaces ignore it.
    virtual void describe(const OsdContent& content) { static_cast<void>(content); }
    // The window as seen: border and last frame, every pixel weighted by the alpha.
    virtual Pixels screenshot() const = 0;
};

// Border (one pixel, dark grey) around the client frame, in an outer-sized image.
Pixels composeWindowImage(const Pixels& client, int outerWidth, int outerHeight);
// Applies a layered alpha to premultiplied pixels.
Pixels applyAlpha(Pixels image, uint8_t alpha);

}  // namespace platform
