// Volume operations through the Linux adapters against real sound servers with null sinks:
// pulseaudio and PipeWire's pulse server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "app/globals.h"
#include "audio/com_init.h"
#include "audio/volume.h"
#include "platform/linux/alsa/alsa_mixer.h"
#include "platform/linux/pulse/pulse_audio.h"
#include "platform/linux/x11/platform_info.h"
#include "platform/ports.h"
#include "tests/support/pulse_server.h"

namespace {

class PulseTest : public ::testing::TestWithParam<testsupport::SoundServer> {
protected:
    void SetUp() override {
        server = std::make_unique<testsupport::PulseServer>(GetParam());
        resetGlobals();
        MajorVersion = 6;
        platform::Ports p;
        auto endpoints = std::make_unique<platform::linux_adapter::PulseAudioEndpoints>();
        pulse = endpoints.get();
        p.audioEndpoints = std::move(endpoints);
        p.mixer = std::make_unique<platform::linux_adapter::AlsaMixer>();
        platform::installPorts(std::move(p));
    }
    // Runs a pactl command and waits until the kept connection has seen its event.
    void changeAndWait(const std::string& args) {
        const uint64_t seen = pulse->cacheState().events;
        server->pactl(args);
        ASSERT_TRUE(pulse->waitForEvents(seen, 2000)) << args;
    }
    void TearDown() override {
        platform::installPorts({});
        server.reset();
        resetGlobals();
    }
    std::unique_ptr<testsupport::PulseServer> server;
    platform::linux_adapter::PulseAudioEndpoints* pulse = nullptr;
};

TEST_P(PulseTest, StepUpMovesTheDefaultSinkFrom57To58) {
    server->pactl("set-sink-volume spk 57%");
    ReadStartingVolume();
    EXPECT_EQ(VolumeCount.load(), 57);
    EXPECT_EQ(szVolumeCount, "57");
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 58);
    EXPECT_EQ(VolumeCount.load(), 58);
    ASSERT_EQ(VolumeDe(), 1);
    ASSERT_EQ(VolumeDe(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 56);
    EXPECT_EQ(VolumeCount.load(), 56);
    // The other sinks were not touched.
    EXPECT_EQ(server->volumePercent("hp"), 100);
}

TEST_P(PulseTest, MuteTogglesTheDefaultSink) {
    ASSERT_EQ(VolumeMute(), 1);
    EXPECT_TRUE(server->muted("spk"));
    EXPECT_EQ(fVolumeMute.load(), 1);
    ASSERT_EQ(VolumeMute(), 1);
    EXPECT_FALSE(server->muted("spk"));
    EXPECT_EQ(fVolumeMute.load(), 0);
}

TEST_P(PulseTest, EachOperationFollowsTheDefaultSinkOfThatMoment) {
    server->pactl("set-sink-volume hp 30%");
    server->pactl("set-default-sink hp");
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("hp"), 31);
    EXPECT_EQ(server->volumePercent("spk"), 100);
}

// After the first read the kept events serve the steps, until something else changes the sink or
// the default: then the next step reads again and lands on the level of that moment.
TEST_P(PulseTest, StepsFollowTheEventsOfTheDefaultSink) {
    server->pactl("set-sink-volume spk 40%");
    EXPECT_FALSE(pulse->cacheState().trusted);
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_TRUE(pulse->settle(2000));  // our own change did not spoil it
    ASSERT_EQ(VolumeIn(), 1);
    ASSERT_EQ(VolumeMute(), 1);
    ASSERT_EQ(VolumeIn(), 1);  // unmutes and steps
    EXPECT_TRUE(pulse->settle(2000));
    EXPECT_EQ(server->volumePercent("spk"), 43);
    EXPECT_FALSE(server->muted("spk"));

    changeAndWait("set-sink-volume spk 70%");
    EXPECT_FALSE(pulse->cacheState().trusted);
    ASSERT_EQ(VolumeDe(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 69);
    EXPECT_EQ(VolumeCount.load(), 69);

    changeAndWait("set-sink-mute spk 1");
    ASSERT_EQ(VolumeMute(), 1);
    EXPECT_FALSE(server->muted("spk"));

    changeAndWait("set-default-sink hp");
    ASSERT_EQ(VolumeDe(), 1);
    EXPECT_EQ(server->volumePercent("hp"), 99);
    EXPECT_EQ(server->volumePercent("spk"), 69);
    EXPECT_TRUE(pulse->settle(2000));
}

// Another client sets the level and a key follows 1 ms later: the step starts from that client's
// level, whether its event is still on the way (the one round trip finds the change and takes the
// step again) or was taken in (the step asks first).
TEST_P(PulseTest, AChangeByAnotherClientJustBeforeAKeyIsNotLost) {
    server->pactl("set-sink-volume spk 40%");
    ASSERT_EQ(VolumeIn(), 1);
    ASSERT_TRUE(pulse->settle(2000));
    server->pactl("set-sink-volume spk 70%");
    pulse->holdEventsUntilNextStep();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 71);
    EXPECT_EQ(pulse->cacheState().retaken, 1u);
    // The level shown was the stale one; the next step reads again and shows the sink's.
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 72);
    EXPECT_EQ(VolumeCount.load(), 72);
    ASSERT_TRUE(pulse->settle(2000));

    server->pactl("set-sink-volume spk 50%");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(VolumeDe(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 49);
}

TEST_P(PulseTest, WhileHidIsDisabledTheSpeakerFormFactorIsChosen) {
    bHIDEnabled = 0;
    server->pactl("set-default-sink hp");
    server->pactl("set-sink-volume spk 20%");
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 21);
    EXPECT_EQ(server->volumePercent("hp"), 100);
    // And S/PDIF by its profile.
    ASSERT_EQ(COMInit(1), 1);
    EXPECT_TRUE(EndpointVolume->setMute(true));
    COMUninit();
    EXPECT_TRUE(server->muted("spdif"));
    EXPECT_FALSE(server->muted("spk"));
}

TEST_P(PulseTest, LevelsAbove100PercentReadAsTheTop) {
    server->pactl("set-sink-volume spk 150%");
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(VolumeCount.load(), 100);
    EXPECT_EQ(server->volumePercent("spk"), 150);  // nothing was set
}

TEST_P(PulseTest, StepsKeepTheBalanceBetweenChannels) {
    server->pactl("set-sink-volume spk 40% 20%");
    ASSERT_EQ(VolumeIn(), 1);
    const std::string out = server->pactl("get-sink-volume spk");
    EXPECT_NE(out.find("41%"), std::string::npos) << out;
    EXPECT_NE(out.find("balance -0.50"), std::string::npos) << out;
}

TEST_P(PulseTest, AServerThatWentAwayFailsTheOperationAndOneThatComesBackServesIt) {
    server.reset();
    EXPECT_EQ(VolumeIn(), 0);
    EXPECT_EQ(VolumeCount.load(), -1);
    server = std::make_unique<testsupport::PulseServer>(GetParam());
    server->pactl("set-sink-volume spk 30%");
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 31);
}

TEST_P(PulseTest, TheKeptConnectionFollowsARestartedServerWithoutLosingAStep) {
    server->pactl("set-sink-volume spk 30%");
    ASSERT_EQ(VolumeIn(), 1);
    server.reset();
    server = std::make_unique<testsupport::PulseServer>(GetParam());
    server->pactl("set-sink-volume spk 50%");
    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 51);
}

// The interface generation does not hang on the server being up when it is asked (at start-up,
// perhaps before the server): with libpulse, the endpoint path; the mixer only when asked for.
class PulseLate : public ::testing::TestWithParam<testsupport::SoundServer> {};

TEST_P(PulseLate, WithoutAServerTheEndpointPathIsChosenAndServesOnceOneComes) {
    resetGlobals();
    setenv("PULSE_SERVER", "unix:/nonexistent/veskosd-no-server", 1);
    EXPECT_EQ(platform::linux_adapter::LinuxPlatformInfo(0).majorVersion(), 6u);
    EXPECT_EQ(platform::linux_adapter::LinuxPlatformInfo(5).majorVersion(), 5u);
    MajorVersion = platform::linux_adapter::LinuxPlatformInfo(0).majorVersion();
    platform::Ports p;
    p.audioEndpoints = std::make_unique<platform::linux_adapter::PulseAudioEndpoints>();
    platform::installPorts(std::move(p));
    EXPECT_EQ(COMInit(0), 0);
    EXPECT_EQ(VolumeIn(), 0);
    {
        testsupport::PulseServer server(GetParam());
        server.pactl("set-sink-volume spk 40%");
        ASSERT_EQ(VolumeIn(), 1);
        EXPECT_EQ(server.volumePercent("spk"), 41);
        EXPECT_EQ(VolumeCount.load(), 41);
    }
    platform::installPorts({});
    resetGlobals();
}

TEST_P(PulseTest, MixerPathThroughAlsasPulsePlugin) {
    MajorVersion = 5;
    server->pactl("set-sink-volume spk 57%");
    ReadStartingVolume();
    EXPECT_EQ(VolumeCount.load(), 56);  // left x 100 / 65535, truncated
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 58);
    EXPECT_EQ(VolumeCount.load(), 58);
    ASSERT_EQ(VolumeMute(), 1);
    EXPECT_TRUE(server->muted("spk"));
    EXPECT_EQ(m_hMixer, nullptr);
}

std::string serverName(const ::testing::TestParamInfo<testsupport::SoundServer>& info) {
    return testsupport::soundServerName(info.param);
}

INSTANTIATE_TEST_SUITE_P(Servers, PulseTest,
                         ::testing::Values(testsupport::SoundServer::PulseAudio,
                                           testsupport::SoundServer::PipeWire),
                         serverName);
INSTANTIATE_TEST_SUITE_P(Servers, PulseLate,
                         ::testing::Values(testsupport::SoundServer::PulseAudio,
                                           testsupport::SoundServer::PipeWire),
                         serverName);

}  // namespace
