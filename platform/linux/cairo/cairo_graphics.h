// Images and off-screen canvases drawn with Cairo.
#pragma once

#include "platform/canvas.h"

namespace platform::linux_adapter {

class CairoGraphics final : public Graphics {
public:
    std::unique_ptr<Image> decodePng(std::span<const uint8_t> bytes) override;
    std::unique_ptr<Canvas> createCanvas(int width, int height) override;
    std::vector<uint8_t> encodePng(const Pixels& pixels) override;
};

}  // namespace platform::linux_adapter
