// Input blocking by the overlay against a real headless sway: a window that has the keyboard
// gets none of the keys typed while blocking is on, and gets them again once it is off; the
// Control tap through the virtual keyboard.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/linux/wayland/wayland_display.h"
#include "platform/linux/wayland/wayland_input.h"
#include "tests/platform/linux/wayland/wayland_test_util.h"
#include "tests/support/process.h"

using platform::linux_adapter::WaylandDisplay;
using platform::linux_adapter::WaylandInput;
using wltest::eventually;

namespace {

TEST(WaylandInputTest, BlockingSwallowsTheKeyboardUntilItEnds) {
    testsupport::Sway sway;
    wltest::TestClient client;
    ASSERT_TRUE(client.started());
    ASSERT_TRUE(eventually([&] { return client.count("mapped") >= 1; }));

    std::string error;
    auto display = WaylandDisplay::open(sway.socket(), error);
    ASSERT_TRUE(display) << error;
    WaylandInput input(display);
    // The Control tap comes through the virtual keyboard as the right Control key (97). The
    // first one makes the seat's keyboard, which the window asks for only then; it stays, so
    // the window keeps a keyboard to be focused by.
    input.injectKey(platform::VK_RCONTROL, false);
    input.injectKey(platform::VK_RCONTROL, true);
    ASSERT_TRUE(eventually([&] { return client.count("focus in") == 1; })) << client.text();
    const std::size_t keysBefore = client.count("key ");
    input.injectKey(platform::VK_RCONTROL, false);
    input.injectKey(platform::VK_RCONTROL, true);
    ASSERT_TRUE(eventually([&] {
        return client.count("key 97 1") >= 1 && client.count("key 97 0") >= 1 &&
               client.count("key ") == keysBefore + 2;
    })) << client.text();
    const std::size_t keysTapped = client.count("key ");

    // While blocked the keys reach the keyboard hook, Control+Delete included.
    std::mutex m;
    std::vector<std::pair<uint32_t, bool>> hooked;  // key down with Control down
    input.start([](const std::function<void()>& work) { work(); },
                [](uint32_t, uint32_t, uint32_t) {});
    input.installHooks(
        [&](int, base::WPARAM message, const platform::KBDLLHOOKSTRUCT& k) -> base::LRESULT {
            std::lock_guard g(m);
            if (message == platform::WM_KEYDOWN) {
                hooked.emplace_back(k.vkCode, input.keyDown(platform::VK_CONTROL));
            }
            return 1;
        },
        [](int, base::WPARAM, const platform::MSLLHOOKSTRUCT&) -> base::LRESULT { return 1; });
    input.setBlocking(true);
    EXPECT_TRUE(eventually([&] { return input.overlaysConfigured() == 2; }));
    EXPECT_TRUE(eventually([&] { return client.count("focus out") == 1; })) << client.text();
    input.injectKey(platform::VK_LCONTROL, false);
    input.injectKey(platform::VK_DELETE, false);
    input.injectKey(platform::VK_DELETE, true);
    input.injectKey(platform::VK_LCONTROL, true);
    EXPECT_TRUE(eventually([&] {
        std::lock_guard g(m);
        return hooked.size() == 2;
    }));
    {
        std::lock_guard g(m);
        ASSERT_EQ(hooked.size(), 2u);
        EXPECT_EQ(hooked[0], std::make_pair(platform::VK_LCONTROL, true));
        EXPECT_EQ(hooked[1], std::make_pair(platform::VK_DELETE, true));
    }
    ASSERT_TRUE(sway.type("bcd"));
    input.setBlocking(false);
    EXPECT_EQ(input.overlays(), 0u);
    // Keys typed while blocked would have come before the focus came back.
    EXPECT_TRUE(eventually([&] { return client.count("focus in") == 2; })) << client.text();
    ASSERT_TRUE(sway.type("e"));
    EXPECT_TRUE(eventually([&] { return client.count("key ") == keysTapped + 2; }))
        << client.text();
    EXPECT_EQ(client.count("key "), keysTapped + 2) << client.text();
}

}  // namespace

namespace {

TEST(WaylandInputTest, BlockingOutlivesTheCompositorAndCoversANewOne) {
    testsupport::Sway sway;
    std::string error;
    auto display = WaylandDisplay::open(sway.socket(), error);
    ASSERT_TRUE(display) << error;
    WaylandInput input(display);
    input.setBlocking(true);
    ASSERT_TRUE(eventually([&] { return input.overlaysConfigured() == 2; }));
    sway.kill();
    EXPECT_TRUE(eventually([&] { return input.overlays() == 0; }));
    sway.restart();
    EXPECT_TRUE(eventually([&] { return input.overlaysConfigured() == 2; }));
    input.setBlocking(false);
    EXPECT_EQ(input.overlays(), 0u);
}

// The compositor lets the overlays' buffers go only after they are gone, when the input that
// made them may be gone too while the connection lives on.
TEST(WaylandInputTest, BuffersLetGoAfterTheInputEndsTouchNothing) {
    testsupport::Sway sway;
    std::string error;
    auto display = WaylandDisplay::open(sway.socket(), error);
    ASSERT_TRUE(display) << error;
    auto input = std::make_unique<WaylandInput>(display);
    input->setBlocking(true);
    ASSERT_TRUE(eventually([&] { return input->overlaysConfigured() == 2; }));
    input.reset();
    // Its overlays' end and the releases come before this one's overlays are configured.
    WaylandInput next(display);
    next.setBlocking(true);
    EXPECT_TRUE(eventually([&] { return next.overlaysConfigured() == 2; }));
}

}  // namespace
