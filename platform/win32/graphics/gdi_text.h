// Opaque text by GDI into a device-independent bitmap: the program's font is a GDI font (the
// theme's icon-title font at the size and weight asked for).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/canvas.h"

namespace platform::win32 {

struct TextCells {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;  // opaque ARGB, row-major
};

// The text's cells, each painted in `background`, the glyphs in `foreground` (both 0xRRGGBB).
// "sans" is the theme's own face; any other family is taken as a face name.
TextCells renderText(std::string_view text, const FontSpec& font, uint32_t foreground,
                     uint32_t background);

}  // namespace platform::win32
