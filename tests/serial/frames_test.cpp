#include "serial/command_frames.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameTemplate, AcceptsTheControllersFramesWhateverTheirCodeAndValue) {
    EXPECT_TRUE(MatchFrameTemplate({0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, 0x09, 0x42, 0x03}));
    EXPECT_TRUE(MatchFrameTemplate({0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, 0xFF, 0xFF, 0x03}));
}

TEST(FrameTemplate, RejectsAnyWrongFixedByte) {
    const Frame good = {0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, 0x09, 0x00, 0x03};
    for (std::size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 9u}) {
        Frame f = good;
        f[i] ^= 0x01;
        EXPECT_FALSE(MatchFrameTemplate(f)) << "byte " << i;
    }
    // Our own command frames are not frames from the controller.
    EXPECT_FALSE(MatchFrameTemplate(UARTSetVolumeBuf.snapshot()));
    EXPECT_FALSE(MatchFrameTemplate(kInvalidFrame));
    EXPECT_FALSE(MatchFrameTemplate(Frame{}));
}

}  // namespace
