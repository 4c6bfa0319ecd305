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

TEST(CommandFrames, SlotsHoldTheirInitialBytes) {
    resetCommandFrames();
    const char* expected[kFrameSlots] = {
        "02 00 00 01 7E 00 02 00 00 03", "02 00 00 01 7E 00 02 01 FF 03",
        "02 00 00 01 7E 00 02 02 00 03", "02 00 00 01 7E 00 02 03 FF 03",
        "02 00 00 01 7E 00 02 04 00 03", "02 00 00 01 7E 00 02 05 FF 03",
        "02 00 00 01 7E 00 02 06 FF 03", "02 00 00 01 7E 00 02 0D 00 03"};
    for (std::size_t i = 0; i < kFrameSlots; ++i) {
        EXPECT_EQ(frameToHex(frameInSlot(i).snapshot()), expected[i]) << i;
    }
}

}  // namespace
