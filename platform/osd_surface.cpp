#include "platform/osd_surface.h"

namespace platform {

Pixels composeWindowImage(const Pixels& client, int outerWidth, int outerHeight) {
    constexpr uint32_t kBorder = 0xFF404040;
    Pixels out;
    out.width = outerWidth > 0 ? outerWidth : 0;
    out.height = outerHeight > 0 ? outerHeight : 0;
    out.argb.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height),
                    0xFF000000);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            uint32_t& p = out.argb[out.index(x, y)];
            if (x == 0 || y == 0 || x == out.width - 1 || y == out.height - 1) {
                p = kBorder;
            } else if (x - 1 < client.width && y - 1 < client.height) {
                p = client.at(x - 1, y - 1);
            }
        }
    }
    return out;
}

Pixels applyAlpha(Pixels image, uint8_t alpha) {
    for (uint32_t& p : image.argb) {
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t c = (p >> shift) & 0xFF;
            out |= ((c * alpha + 127) / 255) << shift;
        }
        p = out;
    }
    return image;
}

}  // namespace platform
