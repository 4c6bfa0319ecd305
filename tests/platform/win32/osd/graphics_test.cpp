// Drawing on GDI+: the program's images from its own resources, frames painted on a canvas, and
// PNG encoding, checked pixel by pixel.
#include "platform/win32/graphics/gdiplus_graphics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/graphics/module_images.h"
#include "res/resources.h"

namespace {

using platform::Pixels;

platform::win32::GdiplusGraphics& graphics() {
    static platform::win32::GdiplusGraphics g;
    return g;
}

Pixels solid(int w, int h, uint32_t argb) {
    Pixels p;
    p.width = w;
    p.height = h;
    p.argb.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), argb);
    return p;
}

TEST(GdiplusGraphics, DecodesEveryImageOfTheModulesResources) {
    ASSERT_TRUE(graphics().ok());
    EXPECT_GE(platform::win32::loadModuleImages(), 9u);
    struct Expected {
        const char* name;
        int w, h;
    };
    const Expected images[] = {
        {"IDR_BARBG", 573, 26},     {"IDR_BARFG", 406, 26},   {"IDR_BARMT", 406, 26},
        {"IDR_BRIGHTNESS", 28, 28}, {"IDR_VOLUME_1", 34, 28}, {"IDR_VOLUME_2", 34, 28},
        {"IDR_VOLUME_3", 34, 28},   {"IDR_VOLUME_4", 34, 28}, {"IDR_VOLUME_M", 34, 28}};
    for (const auto& e : images) {
        const auto bytes = FindResource(e.name, "PNG");
        ASSERT_TRUE(bytes) << e.name;
        const auto image = graphics().decodePng(*bytes);
        ASSERT_NE(image, nullptr) << e.name;
        EXPECT_EQ(image->width(), e.w) << e.name;
        EXPECT_EQ(image->height(), e.h) << e.name;
    }
}

TEST(GdiplusGraphics, RefusesWhatIsNotAWholePng) {
    platform::win32::loadModuleImages();
    const auto bar = FindResource("IDR_BARBG", "PNG");
    ASSERT_TRUE(bar);
    EXPECT_EQ(graphics().decodePng({}), nullptr);
    EXPECT_EQ(graphics().decodePng(bar->first(100)), nullptr);
    // A 1x1 BMP, which GDI+ itself would read: not a PNG.
    const std::vector<uint8_t> bmp = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0,   0, 0,  40,
                                      0,   0,   0,  1, 0, 0, 0, 1, 0, 0, 0,  1,   0, 24, 0,
                                      0,   0,   0,  0, 4, 0, 0, 0, 0, 0, 0,  0,   0, 0,  0,
                                      0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  255, 0};
    EXPECT_EQ(graphics().decodePng(bmp), nullptr);
}

// An image made here, encoded, decoded and drawn at its own size lands pixel for pixel; the rest
// of the canvas keeps its fill.
TEST(GdiplusGraphics, EncodedImageDrawnAtItsSizeIsExact) {
    Pixels pattern = solid(8, 6, 0xFFFF0000);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            pattern.argb[pattern.index(x, y)] =
                x < 4 ? (y < 3 ? 0xFFFF0000 : 0xFF00FF00) : (y < 3 ? 0xFF0000FF : 0xFFFFFFFF);
        }
    }
    const std::vector<uint8_t> png = graphics().encodePng(pattern);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    const auto image = graphics().decodePng(png);
    ASSERT_NE(image, nullptr);

    auto canvas = graphics().createCanvas(12, 10);
    canvas->fill(0x102030);
    ASSERT_TRUE(canvas->drawImageRect(image.get(), 2, 3, 8, 6));
    const Pixels out = canvas->pixels();
    ASSERT_EQ(out.width, 12);
    ASSERT_EQ(out.height, 10);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 2 && x < 10 && y >= 3 && y < 9;
            const uint32_t want = inside ? pattern.at(x - 2, y - 3) : 0xFF102030;
            ASSERT_EQ(out.at(x, y), want) << x << "," << y;
        }
    }
}

TEST(GdiplusGraphics, ImageScaledIntoItsRectangle) {
    const auto image = graphics().decodePng(graphics().encodePng(solid(8, 4, 0xFFFFC000)));
    ASSERT_NE(image, nullptr);
    auto canvas = graphics().createCanvas(40, 30);
    canvas->fill(0x000000);
    ASSERT_TRUE(canvas->drawImageRect(image.get(), 5, 5, 24, 12));
    EXPECT_FALSE(canvas->drawImageRect(nullptr, 0, 0, 10, 10));
    EXPECT_FALSE(canvas->drawImageRect(image.get(), 0, 0, 0, 10));
    const Pixels out = canvas->pixels();
    // Inside the rectangle the colour is the image's; outside, the fill's. Within a scaled
    // pixel of the edges the scaling may blend.
    for (int y = 8; y < 14; ++y) {
        for (int x = 8; x < 26; ++x) ASSERT_EQ(out.at(x, y), 0xFFFFC000u) << x << "," << y;
    }
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            if (x >= 4 && x <= 29 && y >= 4 && y <= 17) continue;
            ASSERT_EQ(out.at(x, y), 0xFF000000u) << x << "," << y;
        }
    }
}

// The text's cells are painted whole in the background, as tall as the font's cell, and nothing
// outside them; the glyphs are in the foreground.
TEST(GdiplusGraphics, TextPaintsItsCellsOpaquely) {
    auto canvas = graphics().createCanvas(200, 40);
    canvas->fill(0x000000);
    const platform::FontSpec font{"sans", 24, true};
    const int width = canvas->drawText(10, 2, "100", font, 0xFFFFFF, 0x0000FF);
    ASSERT_GT(width, 20);
    ASSERT_LT(width, 120);
    const Pixels out = canvas->pixels();
    int white = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 200; ++x) {
            const uint32_t p = out.at(x, y);
            const bool cell = x >= 10 && x < 10 + width && y >= 2 && y < 2 + 24;
            if (!cell) {
                ASSERT_EQ(p, 0xFF000000u) << x << "," << y;
                continue;
            }
            ASSERT_EQ(p >> 24, 0xFFu) << x << "," << y;
            if (p == 0xFFFFFFFFu) ++white;
        }
    }
    EXPECT_EQ(out.at(10, 2), 0xFF0000FFu);
    EXPECT_EQ(out.at(10 + width - 1, 2 + 23), 0xFF0000FFu);
    EXPECT_GT(white, 30);
    EXPECT_EQ(canvas->drawText(0, 0, "", font, 0xFFFFFF, 0), 0);
}

TEST(GdiplusGraphics, EncodesNothingForAnEmptyPicture) {
    EXPECT_TRUE(graphics().encodePng(Pixels{}).empty());
    Pixels short_ = solid(4, 4, 0xFF000000);
    short_.argb.resize(3);
    EXPECT_TRUE(graphics().encodePng(short_).empty());
}

}  // namespace
