// Volume operations against a real pulseaudio with null sinks, through the Linux adapters.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "app/globals.h"
#include "audio/com_init.h"
#include "audio/volume.h"
#include "platform/linux/alsa/alsa_mixer.h"
#include "platform/linux/pulse/pulse_audio.h"
#include "platform/linux/x11/platform_info.h"
#include "platform/ports.h"
#include "tests/support/pulse_server.h"

namespace {

class PulseTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<testsupport::PulseServer>();
        resetGlobals();
        MajorVersion = 6;
        platform::Ports p;
        p.audioEndpoints = std::make_unique<platform::linux_adapter::PulseAudioEndpoints>();
        p.mixer = std::make_unique<platform::linux_adapter::AlsaMixer>();
        platform::installPorts(std::move(p));
    }
    void TearDown() override {
        platform::installPorts({});
        server.reset();
        resetGlobals();
    }
    std::unique_ptr<testsupport::PulseServer> server;
};

TEST_F(PulseTest, StepUpMovesTheDefaultSinkFrom57To58) {
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

TEST_F(PulseTest, MuteTogglesTheDefaultSink) {
    ASSERT_EQ(VolumeMute(), 1);
    EXPECT_TRUE(server->muted("spk"));
    EXPECT_EQ(fVolumeMute.load(), 1);
    ASSERT_EQ(VolumeMute(), 1);
    EXPECT_FALSE(server->muted("spk"));
    EXPECT_EQ(fVolumeMute.load(), 0);
}

TEST_F(PulseTest, EachOperationFollowsTheDefaultSinkOfThatMoment) {
    server->pactl("set-sink-volume hp 30%");
    server->pactl("set-default-sink hp");
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("hp"), 31);
    EXPECT_EQ(server->volumePercent("spk"), 100);
}

TEST_F(PulseTest, WhileHidIsDisabledTheSpeakerFormFactorIsChosen) {
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

TEST_F(PulseTest, LevelsAbove100PercentReadAsTheTop) {
    server->pactl("set-sink-volume spk 150%");
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(VolumeCount.load(), 100);
    EXPECT_EQ(server->volumePercent("spk"), 150);  // nothing was set
}

TEST_F(PulseTest, StepsKeepTheBalanceBetweenChannels) {
    server->pactl("set-sink-volume spk 40% 20%");
    ASSERT_EQ(VolumeIn(), 1);
    const std::string out = server->pactl("get-sink-volume spk");
    EXPECT_NE(out.find("41%"), std::string::npos) << out;
    EXPECT_NE(out.find("balance -0.50"), std::string::npos) << out;
}

TEST_F(PulseTest, AServerThatWentAwayFailsTheOperationAndOneThatComesBackServesIt) {
    server.reset();
    EXPECT_EQ(VolumeIn(), 0);
    EXPECT_EQ(VolumeCount.load(), -1);
    server = std::make_unique<testsupport::PulseServer>();
    server->pactl("set-sink-volume spk 30%");
    ASSERT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 31);
}

TEST_F(PulseTest, TheKeptConnectionFollowsARestartedServerWithoutLosingAStep) {
    server->pactl("set-sink-volume spk 30%");
    ASSERT_EQ(VolumeIn(), 1);
    server.reset();
    server = std::make_unique<testsupport::PulseServer>();
    server->pactl("set-sink-volume spk 50%");
    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_EQ(server->volumePercent("spk"), 51);
}

// The interface generation does not hang on the server being up when it is asked (at start-up,
// perhaps before the server): with libpulse, the endpoint path; the mixer only when asked for.
TEST(PulseLate, WithoutAServerTheEndpointPathIsChosenAndServesOnceOneComes) {
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
        testsupport::PulseServer server;
        server.pactl("set-sink-volume spk 40%");
        ASSERT_EQ(VolumeIn(), 1);
        EXPECT_EQ(server.volumePercent("spk"), 41);
        EXPECT_EQ(VolumeCount.load(), 41);
    }
    platform::installPorts({});
    resetGlobals();
}

TEST_F(PulseTest, MixerPathThroughAlsasPulsePlugin) {
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

}  // namespace
