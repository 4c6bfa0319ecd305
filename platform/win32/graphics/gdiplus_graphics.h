// Images, off-screen canvases and PNG encoding on GDI+'s flat interface, text by GDI in the
// system's icon-title font.
#pragma once

#include <cstdint>

#include "platform/canvas.h"

namespace platform::win32 {

class GdiplusGraphics final : public Graphics {
public:
    // Starts GDI+ for the life of the process; false from ok() when it would not start, and then
    // nothing decodes and canvases draw nothing.
    GdiplusGraphics();
    bool ok() const { return token_ != 0; }

    std::unique_ptr<Image> decodePng(std::span<const uint8_t> bytes) override;
    std::unique_ptr<Canvas> createCanvas(int width, int height) override;
    std::vector<uint8_t> encodePng(const Pixels& pixels) override;

private:
    uintptr_t token_ = 0;
};

}  // namespace platform::win32
