#include "platform/linux/wayland/shm_buffer.h"

#include <gtest/gtest.h>

using platform::Pixels;
using platform::linux_adapter::resample;

namespace {

Pixels numbered(int w, int h) {
    Pixels p;
    p.width = w;
    p.height = h;
    for (int i = 0; i < w * h; ++i) p.argb.push_back(0xFF000000u | static_cast<uint32_t>(i));
    return p;
}

TEST(ResampleTest, TwiceTheScaleMakesEachPixelATwoByTwoBlock) {
    const Pixels src = numbered(3, 2);
    const Pixels out = resample(src, 6, 4);
    ASSERT_EQ(out.argb.size(), 24u);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) EXPECT_EQ(out.at(x, y), src.at(x / 2, y / 2)) << x << "," << y;
    }
}

TEST(ResampleTest, AScaleOfOneAndAHalfKeepsEveryPixelInOrderAndNoneBlended) {
    const Pixels src = numbered(4, 2);
    const Pixels out = resample(src, 6, 3);
    // Columns 0 0 1 2 2 3, rows 0 0 1: each source pixel appears, whole, left to right.
    const int cols[] = {0, 0, 1, 2, 2, 3}, rows[] = {0, 0, 1};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) EXPECT_EQ(out.at(x, y), src.at(cols[x], rows[y]));
    }
    EXPECT_TRUE(resample(src, 0, 3).argb.empty());
}

}  // namespace
