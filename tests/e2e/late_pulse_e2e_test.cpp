// The daemon started before the sound server, as at an early login: the volume keys work as
// soon as the server answers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/e2e/harness.h"
#include "tests/support/pulse_server.h"

namespace {

class LatePulseE2E : public ::testing::TestWithParam<testsupport::SoundServer> {};

TEST_P(LatePulseE2E, VolumeKeysWorkOnceTheServerComes) {
    // The daemon is pointed at a path where the server will appear later (a link to its socket).
    e2e::TempDir link;
    const std::string socket = link.path() + "/native";
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    e2e::TempDir data;
    e2e::Daemon d({"--machine", "linux", "--osd", "headless", "--data-dir", data.path()});
    auto s = d.status();
    EXPECT_EQ(s["MajorVersion"], 6);
    EXPECT_EQ(s["VolumeCount"], -1);
    ASSERT_EQ(d.client({"post", "786", "261", "0"}).status, 0);
    EXPECT_EQ(d.status()["VolumeCount"], -1);  // nothing to raise yet

    testsupport::PulseServer pulse(GetParam());
    pulse.pactl("set-sink-volume spk 40%");
    ASSERT_EQ(symlink(pulse.address().substr(5).c_str(), socket.c_str()), 0);
    ASSERT_EQ(d.client({"post", "786", "261", "0"}).status, 0);
    d.status();
    EXPECT_EQ(pulse.volumePercent("spk"), 41);
    EXPECT_EQ(d.status()["VolumeCount"], 41);
}

INSTANTIATE_TEST_SUITE_P(Servers, LatePulseE2E,
                         ::testing::Values(testsupport::SoundServer::PulseAudio,
                                           testsupport::SoundServer::PipeWire),
                         [](const auto& info) { return testsupport::soundServerName(info.param); });

}  // namespace
