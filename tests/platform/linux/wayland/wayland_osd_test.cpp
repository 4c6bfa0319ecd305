// The layer-shell OSD against a real headless sway: where the bar lands in each output's logical
// pixels, that it carries the same pixels as the headless window (twice as many at scale 2), that
// the alpha is painted, that nothing is left at alpha 0, and a compositor that goes and comes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

#include "platform/headless_osd.h"
#include "platform/linux/wayland/wayland_display.h"
#include "platform/linux/wayland/wayland_osd.h"
#include "tests/platform/linux/wayland/wayland_test_util.h"
#include "tests/support/process.h"

using platform::linux_adapter::WaylandDisplay;
using platform::linux_adapter::WaylandOsd;
using wltest::eventually;
using wltest::mismatches;

namespace {

class WaylandOsdTest : public ::testing::Test {
protected:
    std::shared_ptr<WaylandDisplay> connect() {
        std::string error;
        auto d = WaylandDisplay::open(sway.socket(), error);
        EXPECT_TRUE(d) << error;
        return d;
    }

    // The bar as the core would place it on a monitor of this logical size with the 40-pixel
    // dock, shown at `alpha`; the headless window given the same is the reference.
    platform::Pixels show(WaylandOsd& osd, platform::Rect monitor, uint8_t alpha) {
        const int left = monitor.width() * 31 / 100, width = monitor.width() * 38 / 100;
        platform::Rect dock;
        EXPECT_TRUE(osd.taskbarRect(dock));
        const int top = monitor.height() - 3 * dock.height();
        osd.move(left, top, width, 30);
        const platform::Pixels client = wltest::pattern(width - 2, 28);
        osd.present(client);
        osd.setAlpha(alpha);
        platform::HeadlessOsd reference(monitor.width(), monitor.height());
        reference.move(left, top, width, 30);
        reference.present(client);
        reference.setAlpha(alpha);
        return reference.screenshot();
    }

    // Whether the output comes to show `ref` at (left, top) in logical pixels, each `scale`
    // times over; the count of differing pixels when it does not.
    ::testing::AssertionResult barOn(const char* output, const platform::Pixels& ref, int left,
                                     int top, int scale) {
        if (eventually(
                [&] { return mismatches(sway.screenshot(output), ref, left, top, scale) == 0; })) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << mismatches(sway.screenshot(output), ref, left, top, scale) << " pixels differ on "
               << output;
    }

    testsupport::Sway sway;
};

TEST_F(WaylandOsdTest, FocusedOutputShowsTheReferencePixelsWherePlacedAndNothingAtAlphaZero) {
    auto display = connect();
    ASSERT_TRUE(display);
    WaylandOsd osd(display, "focused");
    osd.prepare([] {});
    const platform::Rect monitor = osd.primaryMonitor();
    ASSERT_EQ(monitor, (platform::Rect{0, 0, 1920, 1080}));
    const testsupport::Screenshot before = sway.screenshot("HEADLESS-1");
    const platform::Pixels ref = show(osd, monitor, 255);
    // 31 % from the left, three 40-pixel docks above the bottom.
    EXPECT_TRUE(barOn("HEADLESS-1", ref, 595, 960, 1));
    // Each fade step is painted: half the alpha over the background below.
    osd.setAlpha(128);
    const uint32_t background = before.at(600, 970) & 0xFF;
    const uint32_t expected = ((ref.at(10, 10) & 0xFF) * 128 + 127) / 255 + background * 127 / 255;
    EXPECT_TRUE(eventually([&] {
        const uint32_t seen = sway.screenshot("HEADLESS-1").at(595 + 10, 960 + 10) & 0xFF;
        return seen + 2 >= expected && seen <= expected + 2;
    }));
    osd.setAlpha(0);
    EXPECT_EQ(osd.surfaces(), 0u);
    EXPECT_TRUE(eventually([&] {
        const testsupport::Screenshot s = sway.screenshot("HEADLESS-1");
        return s.width > 0 && s.rgb == before.rgb;
    }));
    // Shown again after the fade: a new surface.
    osd.setAlpha(255);
    EXPECT_TRUE(barOn("HEADLESS-1", ref, 595, 960, 1));
}

TEST_F(WaylandOsdTest, NamedOutputAtScaleTwoGetsTwiceThePixelsInItsLogicalPlace) {
    auto display = connect();
    ASSERT_TRUE(display);
    WaylandOsd osd(display, "HEADLESS-2");
    osd.prepare([] {});
    const platform::Rect monitor = osd.primaryMonitor();
    ASSERT_EQ(monitor, (platform::Rect{0, 0, 960, 540}));
    const platform::Pixels ref = show(osd, monitor, 255);
    // 297 = 31 % of 960, 420 = 540 - 3 x 40.
    EXPECT_TRUE(barOn("HEADLESS-2", ref, 297, 420, 2));
}

TEST_F(WaylandOsdTest, AllOutputsShowTheBar) {
    auto display = connect();
    ASSERT_TRUE(display);
    WaylandOsd osd(display, "all");
    osd.prepare([] {});
    const platform::Rect monitor = osd.primaryMonitor();
    ASSERT_EQ(monitor.width(), 1920);
    const platform::Pixels ref = show(osd, monitor, 255);
    EXPECT_TRUE(barOn("HEADLESS-1", ref, 595, 960, 1));
    // The 729-pixel bar kept whole on the 960-pixel output: pulled left to 960 - 729.
    EXPECT_TRUE(barOn("HEADLESS-2", ref, 231, 420, 2));
    EXPECT_EQ(osd.surfaces(), 2u);
}

TEST_F(WaylandOsdTest, ALostCompositorNeitherBlocksNorEndsTheCallsAndANewOneIsUsed) {
    auto display = connect();
    ASSERT_TRUE(display);
    WaylandOsd osd(display, "focused");
    std::atomic<int> changes{0};
    osd.prepare([&] { ++changes; });
    const platform::Pixels ref = show(osd, osd.primaryMonitor(), 255);
    ASSERT_TRUE(barOn("HEADLESS-1", ref, 595, 960, 1));
    sway.kill();
    const auto start = std::chrono::steady_clock::now();
    for (int a = 248; a >= 0; a -= 8) osd.setAlpha(static_cast<uint8_t>(a));
    osd.present(wltest::pattern(727, 28));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(eventually([&] { return osd.primaryMonitor().width() == 0; }));
    sway.restart();
    // The new compositor's outputs are told to the core as a display change.
    EXPECT_TRUE(eventually([&] { return changes > 0 && osd.primaryMonitor().width() == 1920; }));
    const platform::Pixels again = show(osd, osd.primaryMonitor(), 255);
    EXPECT_TRUE(barOn("HEADLESS-1", again, 595, 960, 1));
}

}  // namespace

namespace {

TEST_F(WaylandOsdTest, AClickOnTheBarReachesTheWindowBelow) {
    wltest::TestClient client;
    ASSERT_TRUE(client.started());
    ASSERT_TRUE(eventually([&] { return client.count("mapped") > 0; }));
    auto display = connect();
    ASSERT_TRUE(display);
    WaylandOsd osd(display, "focused");
    osd.prepare([] {});
    const platform::Pixels ref = show(osd, osd.primaryMonitor(), 255);
    ASSERT_TRUE(barOn("HEADLESS-1", ref, 595, 960, 1));
    sway.msg({"seat", "seat0", "cursor", "set", "700", "975"});
    sway.msg({"seat", "seat0", "cursor", "press", "button1"});
    sway.msg({"seat", "seat0", "cursor", "release", "button1"});
    EXPECT_TRUE(eventually([&] { return client.count("button") > 0; })) << client.text();
}

}  // namespace

namespace {

TEST_F(WaylandOsdTest, APanelsExclusiveZoneIsTheDockTheBarIsPlacedAbove) {
    auto display = connect();
    ASSERT_TRUE(display);
    WaylandOsd osd(display, "focused");
    osd.prepare([] {});
    const platform::Rect monitor = osd.primaryMonitor();
    platform::Rect dock;
    ASSERT_TRUE(osd.taskbarRect(dock));
    EXPECT_EQ(dock.height(), 40);  // no panel yet: the default strip
    // A panel that comes later is seen too.
    wltest::TestClient panel({"panel", "30"});
    ASSERT_TRUE(panel.started());
    ASSERT_TRUE(eventually([&] { return osd.taskbarRect(dock) && dock.height() == 30; }))
        << dock.height();
    // Three 30-pixel docks above the bottom: 990, over the panel's own 30 pixels.
    const platform::Pixels ref = show(osd, monitor, 255);
    EXPECT_TRUE(barOn("HEADLESS-1", ref, 595, 990, 1));
}

}  // namespace

namespace {

TEST_F(WaylandOsdTest, OnTheOutputTheCompositorPicksTheBarIsPlacedAgainInItsPixels) {
    sway.msg({"focus", "output", "HEADLESS-2"});
    auto display = connect();
    ASSERT_TRUE(display);
    WaylandOsd osd(display, "focused");
    std::atomic<int> changes{0};
    osd.prepare([&] { ++changes; });
    // Placed first on the first output; the compositor shows it on the focused one, and the core
    // hears of a display change.
    show(osd, osd.primaryMonitor(), 255);
    ASSERT_TRUE(eventually([&] { return changes == 1; }));
    const platform::Rect monitor = osd.primaryMonitor();
    ASSERT_EQ(monitor, (platform::Rect{0, 0, 960, 540}));
    const platform::Pixels ref = show(osd, monitor, 255);
    EXPECT_TRUE(barOn("HEADLESS-2", ref, 297, 420, 2));
}

TEST_F(WaylandOsdTest, ANewOutputIsADisplayChangeAndGetsItsBar) {
    auto display = connect();
    ASSERT_TRUE(display);
    WaylandOsd osd(display, "all");
    std::atomic<int> changes{0};
    osd.prepare([&] { ++changes; });
    show(osd, osd.primaryMonitor(), 255);
    ASSERT_TRUE(eventually([&] { return osd.surfaces() == 2; }));
    sway.msg({"create_output"});
    EXPECT_TRUE(eventually([&] { return changes >= 1; }));
    const platform::Pixels ref = show(osd, osd.primaryMonitor(), 255);
    EXPECT_TRUE(eventually([&] { return osd.surfaces() == 3; })) << osd.surfaces();
    EXPECT_TRUE(barOn("HEADLESS-3", ref, 595, 960, 1));
}

}  // namespace
