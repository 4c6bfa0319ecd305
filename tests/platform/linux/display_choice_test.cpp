#include "platform/linux/display_choice.h"

#include <gtest/gtest.h>

using platform::linux_adapter::chooseDisplayServer;
using platform::linux_adapter::DisplayFacts;
using platform::linux_adapter::DisplayServer;

namespace {

DisplayFacts facts(bool wayland, bool answers, bool layerShell, bool x11, const char* forced = "") {
    DisplayFacts f;
    f.forced = forced;
    f.waylandDisplay = wayland;
    f.waylandAnswers = answers;
    f.layerShell = layerShell;
    f.x11Display = x11;
    return f;
}

TEST(DisplayChoiceTest, TheSessionDecidesWithoutAnOverride) {
    // A layer-shell compositor wins over an Xwayland beside it.
    EXPECT_EQ(chooseDisplayServer(facts(true, true, true, true)), DisplayServer::Wayland);
    EXPECT_EQ(chooseDisplayServer(facts(true, true, true, false)), DisplayServer::Wayland);
    // Without layer-shell (GNOME): X11 through Xwayland, else a notification.
    EXPECT_EQ(chooseDisplayServer(facts(true, true, false, true)), DisplayServer::X11);
    EXPECT_EQ(chooseDisplayServer(facts(true, true, false, false)), DisplayServer::Notification);
    // WAYLAND_DISPLAY naming no compositor counts as no Wayland.
    EXPECT_EQ(chooseDisplayServer(facts(true, false, false, true)), DisplayServer::X11);
    EXPECT_EQ(chooseDisplayServer(facts(true, false, false, false)), DisplayServer::None);
    EXPECT_EQ(chooseDisplayServer(facts(false, false, false, true)), DisplayServer::X11);
    EXPECT_EQ(chooseDisplayServer(facts(false, false, false, false)), DisplayServer::None);
}

TEST(DisplayChoiceTest, AnOverrideWinsWhateverTheSessionOffers) {
    EXPECT_EQ(chooseDisplayServer(facts(false, false, false, true, "wayland")),
              DisplayServer::Wayland);
    EXPECT_EQ(chooseDisplayServer(facts(true, true, true, false, "x11")), DisplayServer::X11);
    EXPECT_EQ(chooseDisplayServer(facts(true, true, true, true, "none")), DisplayServer::None);
}

}  // namespace
