// The volume keys on the Core Audio adapter: the level written is the next hundredth, and a
// level the system refuses to set leaves the shown level alone.
#include <gtest/gtest.h>

#include "app/globals.h"
#include "audio/volume.h"
#include "platform/ports.h"
#include "tests/platform/win32/audio/fake_endpoints.h"

namespace {

TEST(CoreAudioVolume, StepsWriteTheNextHundredthAndRefusalsAreNotCounted) {
    resetGlobals();
    MajorVersion = 6;
    platform::Ports p;
    p.audioEndpoints = fakeaudio::makeFakeEndpoints();
    platform::installPorts(std::move(p));
    fakeaudio::fakeLevel() = 0.57f;

    EXPECT_EQ(VolumeIn(), 1);
    EXPECT_EQ(fakeaudio::fakeLevel(), 0.58f);
    EXPECT_EQ(VolumeCount, 58);
    fakeaudio::refuseLevels();
    EXPECT_EQ(VolumeDe(), 0);
    EXPECT_EQ(fakeaudio::fakeLevel(), 0.58f);
    EXPECT_EQ(VolumeCount, 58);
    EXPECT_EQ(fakeaudio::fakeInitialisations(), 0);

    platform::installPorts({});
    resetGlobals();
}

}  // namespace
