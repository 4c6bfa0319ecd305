// The daemon on a headless sway: the display server it chooses, and a volume key's bar on the
// focused output in the core's place, faded to nothing.
#include <gtest/gtest.h>

#include "tests/e2e/harness.h"
#include "tests/platform/linux/wayland/wayland_test_util.h"

namespace {

// Whether the bar's rectangle (logical pixels, scale 1) differs from `background` there.
bool barShown(const testsupport::Screenshot& shot, const testsupport::Screenshot& background) {
    if (shot.width == 0) return false;
    int changed = 0;
    for (int y = 961; y < 989; ++y) {
        for (int x = 596; x < 595 + 728; ++x) changed += shot.at(x, y) != background.at(x, y);
    }
    return changed > 728 * 28 / 2;
}

TEST(WaylandDaemonTest, AVolumeKeyShowsTheBarOnTheFocusedOutputAndItFadesAway) {
    testsupport::Sway sway;
    const testsupport::Screenshot before = sway.screenshot("HEADLESS-1");
    e2e::Daemon d({"--machine", "sim"});
    EXPECT_NE(d.stderrText().find("display=wayland osd=wayland"), std::string::npos)
        << d.stderrText();
    ASSERT_EQ(d.client({"key", "volume-up"}).status, 0);
    ASSERT_TRUE(wltest::eventually([&] { return d.status()["osd"]["alpha"] == 192; }));
    EXPECT_EQ(d.status()["osd"]["rect"]["left"], 595);
    EXPECT_EQ(d.status()["osd"]["rect"]["top"], 960);
    EXPECT_TRUE(
        wltest::eventually([&] { return barShown(sway.screenshot("HEADLESS-1"), before); }));
    // Nothing outside it, nor on the other output.
    EXPECT_EQ(sway.screenshot("HEADLESS-1").at(590, 970), before.at(590, 970));
    // One second of hold and 23 steps of 100 ms.
    EXPECT_TRUE(wltest::eventually([&] { return d.status()["osd"]["alpha"] == 0; },
                                   std::chrono::seconds(6)));
    EXPECT_TRUE(
        wltest::eventually([&] { return sway.screenshot("HEADLESS-1").rgb == before.rgb; }));
}

TEST(WaylandDaemonTest, TheDisplayServerCanBeForced) {
    testsupport::Sway sway;
    e2e::Daemon d({"--machine", "sim", "--display-server", "none"});
    EXPECT_NE(d.stderrText().find("display=none osd=headless"), std::string::npos)
        << d.stderrText();
}

}  // namespace
