// The sway bindings of the README, run by a real sway: its keys reach the daemon of the same user
// through `veskosd key`, as in a desktop session.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/e2e/harness.h"
#include "tests/platform/linux/wayland/wayland_test_util.h"

namespace {

// The README's sway lines, with the built binary in place of the one on PATH.
std::string readmeSwayBindings() {
    std::ifstream in(VESKOSD_README);
    std::string bindings, line;
    const std::string command = "exec veskosd ";
    while (std::getline(in, line)) {
        if (line.rfind("    bindsym ", 0) != 0) continue;
        const auto at = line.find(command);
        if (at == std::string::npos) continue;
        line.replace(at, command.size(), std::string("exec ") + VESKOSD_BINARY + " ");
        bindings += line.substr(4) + "\n";
    }
    return bindings;
}

TEST(SwayBindingsTest, TheReadmeBindingsPostEachKeyToTheDaemonOfTheirUser) {
    const std::string bindings = readmeSwayBindings();
    ASSERT_EQ(e2e::occurrences(bindings, "bindsym"), 5u) << bindings;
    // sway runs as an unprivileged user, and so do the commands of its bindings: the daemon too,
    // since it serves only its own user (and root, which polls it here).
    testsupport::Sway sway(bindings);
    e2e::TempDir data;
    ASSERT_EQ(chown(data.path().c_str(), testsupport::Sway::kUser, testsupport::Sway::kUser), 0);
    e2e::Daemon d({"--machine", "sim", "--data-dir", data.path()},
                  {testsupport::Sway::kUser, sway.runtimeDir()});
    EXPECT_NE(d.stderrText().find("display=wayland"), std::string::npos) << d.stderrText();
    const auto count = [&](const char* name) { return d.status()[name].get<int>(); };
    const int volume = count("VolumeCount");

    ASSERT_TRUE(sway.press("XF86AudioRaiseVolume"));
    EXPECT_TRUE(e2e::eventually([&] { return count("VolumeCount") == volume + 1; }))
        << d.stderrText();
    ASSERT_TRUE(sway.press("XF86AudioLowerVolume"));
    EXPECT_TRUE(e2e::eventually([&] { return count("VolumeCount") == volume; }));
    ASSERT_EQ(count("fVolumeMute"), 0);
    ASSERT_TRUE(sway.press("XF86AudioMute"));
    EXPECT_TRUE(e2e::eventually([&] { return count("fVolumeMute") == 1; }));
    // Down first: the simulated panel starts at its top level.
    const int brightness = count("BRIGHTNESSCount");
    ASSERT_TRUE(sway.press("XF86MonBrightnessDown"));
    EXPECT_TRUE(e2e::eventually([&] { return count("BRIGHTNESSCount") < brightness; }));
    const int lowered = count("BRIGHTNESSCount");
    ASSERT_TRUE(sway.press("XF86MonBrightnessUp"));
    EXPECT_TRUE(e2e::eventually([&] { return count("BRIGHTNESSCount") > lowered; }));
}

}  // namespace
