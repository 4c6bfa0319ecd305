#include "audio/volume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "app/globals.h"
#include "audio/com_init.h"
#include "platform/ports.h"
#include "platform/sim/audio.h"
#include "serial/command_frames.h"
#include "tests/support/held_elsewhere.h"

namespace {

using platform::sim::SimAudioState;

class VolumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        resetCommandFrames();
        MajorVersion = 6;
        platform::Ports p;
        p.audioEndpoints = audio.makeEndpoints();
        p.mixer = audio.makeMixer();
        platform::installPorts(std::move(p));
    }
    void TearDown() override {
        platform::installPorts({});
        resetGlobals();
    }
    // Runs f on the simulated hardware's state.
    template <typename F>
    void hw(F f) {
        audio.with([&](SimAudioState& st) {
            f(st);
            return 0;
        });
    }
    std::vector<std::string> calls() {
        return audio.with([](SimAudioState& st) { return st.calls; });
    }
    void clearCalls() {
        hw([](SimAudioState& st) { st.calls.clear(); });
    }
    float level(std::size_t i = 0) {
        return audio.with([&](SimAudioState& st) { return st.endpoints[i].level; });
    }
    bool muted(std::size_t i = 0) {
        return audio.with([&](SimAudioState& st) { return st.endpoints[i].muted; });
    }

    platform::sim::SimAudio audio;
};

TEST(VolumePercent, RoundsAsTheUserExpects) {
    EXPECT_EQ(VolumePercent(0.57f), 57);  // stored just below 0.57
    EXPECT_EQ(VolumePercent(0.995f), 100);
    EXPECT_EQ(VolumePercent(0.994f), 99);
    EXPECT_EQ(VolumePercent(0.0f), 0);
    EXPECT_EQ(VolumePercent(1.0f), 100);
    EXPECT_EQ(VolumePercent(0.005f), 1);
    EXPECT_EQ(VolumePercent(0.0049f), 0);
    for (int p = 0; p <= 100; ++p) {
        EXPECT_EQ(VolumePercent(static_cast<float>(p) / 100.0f), p) << p;
    }
}

TEST(VolumePercent, NonNumbersShowAsSilence) {
    EXPECT_EQ(VolumePercent(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(VolumePercent(std::numeric_limits<float>::infinity()), 0);
}

TEST_F(VolumeTest, StepUpFrom57GoesTo58InSinglePrecision) {
    hw([](SimAudioState& st) { st.endpoints[0].level = 0.57f; });
    VolumeCount = 57;
    bOSDShowVolume = 1;
    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_EQ(level(), 0.57f + 0.01f);
    EXPECT_EQ(level(), 0.58f);
    EXPECT_EQ(VolumeCount.load(), 58);
    EXPECT_EQ(bOSDShowVolume.load(), 1);  // the read matched what was shown
}

TEST_F(VolumeTest, ALevelChangedElsewhereClearsTheShownBarButNotTheText) {
    hw([](SimAudioState& st) { st.endpoints[0].level = 0.30f; });
    VolumeCount = 57;
    szVolumeCount = "57";
    bOSDShowVolume = 1;
    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_EQ(VolumeCount.load(), 31);
    EXPECT_EQ(bOSDShowVolume.load(), 0);
    EXPECT_EQ(szVolumeCount, "57");
}

TEST_F(VolumeTest, AtTheTopStepUpSetsNothing) {
    hw([](SimAudioState& st) { st.endpoints[0].level = 0.995f; });
    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_EQ(VolumeCount.load(), 100);
    EXPECT_EQ(level(), 0.995f);
    for (const auto& c : calls()) EXPECT_EQ(c.rfind("setLevel", 0), std::string::npos) << c;
}

TEST_F(VolumeTest, AtTheBottomStepDownSetsNothing) {
    hw([](SimAudioState& st) { st.endpoints[0].level = 0.0f; });
    EXPECT_EQ(VolumeDe(), 1);
    EXPECT_EQ(VolumeCount.load(), 0);
    EXPECT_EQ(level(), 0.0f);
}

TEST_F(VolumeTest, StepDownClampsAtZero) {
    hw([](SimAudioState& st) { st.endpoints[0].level = 0.01f; });
    EXPECT_EQ(VolumeDe(), 1);
    EXPECT_EQ(level(), 0.0f);
    EXPECT_EQ(VolumeCount.load(), 0);
}

TEST_F(VolumeTest, StepUpWhileMutedUnmutesAndRaisesInOneCall) {
    hw([](SimAudioState& st) {
        st.endpoints[0].level = 0.20f;
        st.endpoints[0].muted = true;
    });
    fVolumeMute = 1;
    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_FALSE(muted());
    EXPECT_EQ(level(), 0.20f + 0.01f);
    EXPECT_EQ(fVolumeMute.load(), 0);
    EXPECT_EQ(calls(),
              (std::vector<std::string>{"defaultRenderEndpoint", "setMute 0", "setLevel 0.21"}));
}

TEST_F(VolumeTest, AMuteSetByAnotherProgramIsNotLifted) {
    hw([](SimAudioState& st) { st.endpoints[0].muted = true; });
    fVolumeMute = 0;
    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_TRUE(muted());
}

TEST_F(VolumeTest, WhatWasWrittenBeforeAFailureStays) {
    hw([](SimAudioState& st) {
        st.endpoints[0].level = 0.40f;
        st.setLevelFails = true;
    });
    fVolumeMute = 1;
    EXPECT_EQ(VolumeDe(), 0);
    EXPECT_EQ(fVolumeMute.load(), 0);
    EXPECT_EQ(VolumeCount.load(), 40);  // the read happened
    hw([](SimAudioState& st) { st.setMuteFails = true; });
    fVolumeMute = 1;
    EXPECT_EQ(VolumeIn(), 0);
    EXPECT_EQ(fVolumeMute.load(), 0);  // cleared even though the unmute failed
    // The endpoint is closed again after each failure.
    EXPECT_EQ(EndpointVolume, nullptr);
}

TEST_F(VolumeTest, MuteTogglesAndFillsTheMuteFrame) {
    hw([](SimAudioState& st) { st.endpoints[0].level = 0.57f; });
    EXPECT_EQ(VolumeMute(), 1);
    EXPECT_TRUE(muted());
    EXPECT_EQ(fVolumeMute.load(), 1);
    EXPECT_EQ(UARTMuteBuf.get(kValueByte), 1);
    EXPECT_EQ(VolumeCount.load(), 57);
    EXPECT_EQ(szVolumeCount, "57");
    EXPECT_EQ(VolumeMute(), 1);
    EXPECT_FALSE(muted());
    EXPECT_EQ(fVolumeMute.load(), 0);
    EXPECT_EQ(UARTMuteBuf.get(kValueByte), 0);
}

TEST_F(VolumeTest, AHeldLockDropsTheOperationWithoutTouchingTheDevice) {
    {
        testsupport::HeldElsewhere busy(VolumeCriticalSection);
        EXPECT_EQ(VolumeIn(), 0);
        EXPECT_EQ(VolumeDe(), 0);
        EXPECT_EQ(VolumeMute(), 0);
    }

    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(VolumeCount.load(), -1);
    EXPECT_EQ(VolumeIn(), 1);  // and the next one runs
}

TEST_F(VolumeTest, NoServerMeansNothingHappens) {
    hw([](SimAudioState& st) { st.serverDown = true; });
    EXPECT_EQ(VolumeIn(), 0);
    EXPECT_EQ(VolumeCount.load(), -1);
    EXPECT_FALSE(VolumeCriticalSection.heldByOtherThread());
}

class SelectionTest : public VolumeTest {};

TEST_F(SelectionTest, WithHidEnabledOnlyTheDefaultOutputIsUsed) {
    hw([](SimAudioState& st) { st.defaultIndex = 1; });
    ASSERT_EQ(COMInit(0), 1);
    EXPECT_TRUE(EndpointVolume->setMute(true));
    COMUninit();
    EXPECT_TRUE(muted(1));
    EXPECT_EQ(calls().front(), "defaultRenderEndpoint");
    for (const auto& c : calls()) EXPECT_NE(c, "activeEndpoints");
}

TEST_F(SelectionTest, WithHidDisabledTheFirstSpeakersEndpointWins) {
    bHIDEnabled = 0;
    hw([](SimAudioState& st) {
        st.endpoints = {{"mic", platform::Microphone, false},
                        {"unreadable", std::nullopt},
                        {"hp", platform::Headphones},
                        {"first", platform::Speakers},
                        {"second", platform::Speakers}};
        st.defaultIndex = 4;
    });
    ASSERT_EQ(COMInit(0), 1);
    EndpointVolume->setMute(true);
    COMUninit();
    EXPECT_TRUE(muted(3));
    EXPECT_FALSE(muted(4));
}

TEST_F(SelectionTest, OnlyHeadphonesAndSpdifGiveNoVolumeEndpoint) {
    bHIDEnabled = 0;
    hw([](SimAudioState& st) {
        st.endpoints = {{"hp", platform::Headphones}, {"spdif", platform::SPDIF}};
    });
    EXPECT_EQ(COMInit(0), 0);
    EXPECT_EQ(EndpointVolume, nullptr);
    EXPECT_EQ(VolumeIn(), 0);
}

TEST_F(SelectionTest, SpdifRequestEnumeratesEvenWithHidEnabled) {
    hw([](SimAudioState& st) {
        st.endpoints = {
            {"spk", platform::Speakers}, {"broken", std::nullopt}, {"spdif", platform::SPDIF}};
    });
    ASSERT_EQ(COMInit(1), 1);
    EndpointVolume->setMute(true);
    COMUninit();
    EXPECT_TRUE(muted(2));
    EXPECT_FALSE(muted(0));
}

TEST_F(SelectionTest, FailuresLeaveEverythingClosed) {
    bHIDEnabled = 0;
    hw([](SimAudioState& st) { st.enumerationFails = true; });
    EXPECT_EQ(COMInit(0), 0);
    hw([](SimAudioState& st) {
        st.enumerationFails = false;
        st.endpoints = {};
    });
    EXPECT_EQ(COMInit(0), 0);
    hw([](SimAudioState& st) {
        st.endpoints = {{"spk", platform::Speakers, true, 0.5f, false, true}};
    });
    EXPECT_EQ(COMInit(0), 0);
    EXPECT_EQ(EndpointVolume, nullptr);
}

class MixerTest : public VolumeTest {
protected:
    void SetUp() override {
        VolumeTest::SetUp();
        MajorVersion = 5;
    }
    std::pair<uint32_t, uint32_t> channels() {
        return audio.with(
            [](SimAudioState& st) { return std::make_pair(st.channels[0], st.channels[1]); });
    }
};

TEST_F(MixerTest, StepUpRoundsDownToTheStepThenRaisesBelowTheTop) {
    hw([](SimAudioState& st) {
        st.channels[0] = 1000;
        st.channels[1] = 65535;
    });
    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_EQ(channels(), std::make_pair(1310u, 65500u));
    EXPECT_EQ(VolumeCount.load(), 2);  // 1 from the left channel, then one step
}

TEST_F(MixerTest, StepDownAtZeroStaysAtZero) {
    hw([](SimAudioState& st) {
        st.channels[0] = 0;
        st.channels[1] = 300;
    });
    EXPECT_EQ(VolumeDe(), 1);
    EXPECT_EQ(channels(), std::make_pair(0u, 0u));
    EXPECT_EQ(VolumeCount.load(), 0);
}

// On a coarse mixer every step moves the hardware by one of its own steps, up through the whole
// range and back down; the shown level is what the hardware then holds.
TEST_F(MixerTest, OnACoarseMixerEveryStepMovesTheHardwareOneStep) {
    for (long steps : {31L, 87L, 100L}) {
        hw([&](SimAudioState& st) {
            st.mixerSteps = steps;
            st.channels[0] = st.channels[1] = 0;
        });
        auto expectAt = [&](long raw) {
            const uint32_t held = platform::mixerUnits(raw, 0, steps);
            ASSERT_EQ(channels(), std::make_pair(held, held)) << steps << " at " << raw;
            ASSERT_EQ(VolumeCount.load(), static_cast<int32_t>(std::min(100u, held / 655)));
        };
        for (long raw = 1; raw <= steps + 1; ++raw) {
            ASSERT_EQ(VolumeIn(), 1);
            expectAt(std::min(raw, steps));  // and at the top it stays there
        }
        for (long raw = steps - 1; raw >= -1; --raw) {
            ASSERT_EQ(VolumeDe(), 1);
            expectAt(std::max(raw, 0L));
        }
    }
}

// The conversion itself: ranges that do not start at 0, and finer ones (255 steps; ALSA's pulse
// plugin: 0..65536) where a step moves the level one percent and reads back as written.
TEST(MixerConversion, MovesAtLeastOneStepAndReadsBackAsWritten) {
    using platform::Travel;
    EXPECT_EQ(platform::mixerRaw(655, 0, 31, Travel::Up, 0), 1);
    EXPECT_EQ(platform::mixerRaw(1310, 0, 31, Travel::Down, 1), 0);
    EXPECT_EQ(platform::mixerRaw(655, 0, 31, Travel::Nearest, 0), 0);
    EXPECT_EQ(platform::mixerRaw(0, -6400, 0, Travel::Up, -6400), -6399);
    EXPECT_EQ(platform::mixerRaw(65535, -6400, 0, Travel::Up, 0), 0);
    EXPECT_EQ(platform::mixerRaw(0, -6400, 0, Travel::Down, -6400), -6400);
    EXPECT_EQ(platform::mixerUnits(31, 0, 31), 65535u);
    for (long range : {255L, 65536L}) {
        for (uint32_t k = 1; k < 100; ++k) {
            const long now = platform::mixerRaw(k * 655 + 300, 0, range, Travel::Nearest, 0);
            for (auto travel : {Travel::Up, Travel::Down}) {
                const uint32_t target = travel == Travel::Up ? (k + 1) * 655 : (k - 1) * 655;
                const long raw = platform::mixerRaw(target, 0, range, travel, now);
                EXPECT_TRUE(travel == Travel::Up ? raw > now : raw < now) << range << " " << k;
                const uint32_t back = platform::mixerUnits(raw, 0, range);
                EXPECT_EQ(back - back % 655, target) << range << " " << k;
            }
        }
    }
}

TEST_F(MixerTest, StepReadsTheMuteButDoesNotUnmute) {
    hw([](SimAudioState& st) { st.mixerMuted = 1; });
    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_EQ(fVolumeMute.load(), 1);
    EXPECT_EQ(audio.with([](SimAudioState& st) { return st.mixerMuted; }), 1u);
}

TEST_F(MixerTest, MuteTogglesWithoutTouchingTheMuteFrame) {
    hw([](SimAudioState& st) { st.channels[0] = st.channels[1] = 655 * 40 + 10; });
    EXPECT_EQ(VolumeMute(), 1);
    EXPECT_EQ(fVolumeMute.load(), 1);
    EXPECT_EQ(VolumeCount.load(), 40);
    EXPECT_EQ(szVolumeCount, "40");
    EXPECT_EQ(UARTMuteBuf.get(kValueByte), 0);
}

TEST_F(MixerTest, NoDeviceOrNoMuteControlOpensNothing) {
    hw([](SimAudioState& st) { st.mixerDevices = 0; });
    EXPECT_EQ(COMInit(0), 0);
    hw([](SimAudioState& st) {
        st.mixerDevices = 1;
        st.mixerHasMute = false;
    });
    EXPECT_EQ(COMInit(0), 0);
    EXPECT_EQ(m_hMixer, nullptr);
}

TEST_F(MixerTest, StartupReadUsesTheWholeRange) {
    hw([](SimAudioState& st) { st.channels[0] = 65535; });
    ReadStartingVolume();
    EXPECT_EQ(VolumeCount.load(), 100);
    hw([](SimAudioState& st) { st.channels[0] = 65499; });
    ReadStartingVolume();
    EXPECT_EQ(VolumeCount.load(), 99);
    EXPECT_EQ(szVolumeCount, "99");
    EXPECT_EQ(m_hMixer, nullptr);
}

TEST_F(VolumeTest, StartupReadTakesMuteThenLevel) {
    hw([](SimAudioState& st) {
        st.endpoints[0].level = 0.57f;
        st.endpoints[0].muted = true;
    });
    ReadStartingVolume();
    EXPECT_EQ(fVolumeMute.load(), 1);
    EXPECT_EQ(VolumeCount.load(), 57);
    EXPECT_EQ(szVolumeCount, "57");
    EXPECT_EQ(EndpointVolume, nullptr);
}

TEST_F(VolumeTest, StartupReadSkipsTheRestAfterAFailedQuery) {
    hw([](SimAudioState& st) { st.getMuteFails = true; });
    ReadStartingVolume();
    EXPECT_EQ(VolumeCount.load(), -1);
    EXPECT_EQ(szVolumeCount, "");
    EXPECT_EQ(EndpointVolume, nullptr);
}

}  // namespace
