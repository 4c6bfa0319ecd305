// The winmm mixer adapter on the system's own mixer (Wine keeps its level in the process): the
// speaker line's level in 0..65535 per channel, the direction of travel, and the mute.
#include <gtest/gtest.h>

#include "platform/win32/mixer/winmm_mixer.h"

namespace {

using platform::Travel;
using platform::win32::WinmmMixer;

class WinmmMixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(mixer.deviceCount(), 1u) << "no mixer device: no sound server for Wine?";
        line = mixer.openSpeakerLine();
        ASSERT_TRUE(line);
    }
    // Sets both channels and says what was reported and what a fresh line reads.
    void set(uint32_t left, uint32_t right, Travel travel = Travel::Nearest) {
        uint32_t ch[2] = {left, right};
        ASSERT_TRUE(line->setVolume(ch, travel));
        reported[0] = ch[0];
        reported[1] = ch[1];
        auto fresh = mixer.openSpeakerLine();
        ASSERT_TRUE(fresh);
        ASSERT_TRUE(fresh->getVolume(read));
    }
    WinmmMixer mixer;
    std::unique_ptr<platform::SpeakerLine> line;
    uint32_t reported[2] = {0, 0};
    uint32_t read[2] = {0, 0};
};

TEST_F(WinmmMixerTest, LevelRoundTripsAcrossTheWholeRange) {
    for (const uint32_t v : {0u, 655u, 1310u, 42000u, 65500u, 65535u}) {
        SCOPED_TRACE(v);
        set(v, v);
        EXPECT_EQ(read[0], v);
        EXPECT_EQ(read[1], v);
        EXPECT_EQ(reported[0], v);
        EXPECT_EQ(reported[1], v);
    }
    // Above the range is the top of it.
    set(70000, 70000);
    EXPECT_EQ(read[0], 65535u);
}

TEST_F(WinmmMixerTest, BothChannelsReadWhatTheLineHolds) {
    set(20000, 40000);
    uint32_t ch[2] = {1, 1};
    ASSERT_TRUE(line->getVolume(ch));
    // One value for the line (Wine's) holds the left channel's; two hold their own.
    EXPECT_EQ(ch[0], 20000u);
    EXPECT_TRUE(ch[1] == 20000u || ch[1] == 40000u) << ch[1];
    EXPECT_EQ(reported[1], read[1]);
}

TEST_F(WinmmMixerTest, EveryStepMovesAtLeastOneUnitWithinTheRange) {
    set(30000, 30000);
    set(30000, 30000, Travel::Up);
    EXPECT_GT(read[0], 30000u);
    set(read[0], read[1], Travel::Down);
    EXPECT_LT(read[0], 30001u);
    set(0, 0);
    set(0, 0, Travel::Down);
    EXPECT_EQ(read[0], 0u);
    set(65535, 65535);
    set(65535, 65535, Travel::Up);
    EXPECT_EQ(read[0], 65535u);
}

TEST_F(WinmmMixerTest, MuteRoundTrips) {
    for (const uint32_t m : {1u, 0u, 1u}) {
        ASSERT_TRUE(line->setMute(m));
        auto fresh = mixer.openSpeakerLine();
        ASSERT_TRUE(fresh);
        uint32_t got = 7;
        ASSERT_TRUE(fresh->getMute(got));
        EXPECT_EQ(got, m);
    }
    ASSERT_TRUE(line->setMute(0));
}

}  // namespace
