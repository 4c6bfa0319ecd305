// Drawing: PNG images, a client-sized canvas composed off-screen, and PNG encoding.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Premultiplied ARGB32, row-major, no padding.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;
    // Computed in the index type: large frames must not overflow an int on the way.
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(x);
    }
    uint32_t at(int x, int y) const { return argb[index(x, y)]; }
};

class Image {
public:
    virtual ~Image() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
};

struct FontSpec {
    std::string family = "sans";
    int cellHeight = 24;  // ascent plus descent, in pixels
    bool bold = true;
};

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fill(uint32_t rgb) = 0;
    // Opaque text: each character cell painted in `background`; y is the top of the cells.
    // Returns the width drawn.
    virtual int drawText(int x, int y, std::string_view text, const FontSpec& font,
                         uint32_t foreground, uint32_t background) = 0;
    // The whole image scaled into the rectangle; false for a null image.
    virtual bool drawImageRect(const Image* image, float x, float y, float w, float h) = 0;
    virtual Pixels pixels() const = 0;
};

// A canvas that draws nothing and reads back opaque black: what paints without a graphics back end.
std::unique_ptr<Canvas> makeBlankCanvas(int width, int height);

class Graphics {
public:
    virtual ~Graphics() = default;
    // Null when the bytes are not a decodable PNG.
    virtual std::unique_ptr<Image> decodePng(std::span<const uint8_t> bytes) = 0;
    virtual std::unique_ptr<Canvas> createCanvas(int width, int height) = 0;
    // Empty on failure.
    virtual std::vector<uint8_t> encodePng(const Pixels& pixels) = 0;
};

}  // namespace platform
