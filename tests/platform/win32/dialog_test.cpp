// The main dialog from template 102: found by its title, what is posted to it from outside
// reaches the window object's queue, the dialog manager's own traffic does not.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/dialog/main_dialog.h"
#include "tests/platform/win32/dialog_probe.h"

namespace {

TEST(MainDialog, PostsFromOutsideReachTheProgramsQueueOnly) {
    auto probe = testsupport::makeDialogProbe();
    platform::win32::MainDialog dialog;
    ASSERT_TRUE(dialog.publish("VESKOSD TEST", probe->window()));
    HWND found = FindWindowW(nullptr, L"VESKOSD TEST");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, static_cast<HWND>(dialog.handle()));
    EXPECT_FALSE(IsWindowVisible(found));

    ASSERT_TRUE(PostMessageW(found, WM_USER + 0x101, 512, 32));
    ASSERT_TRUE(PostMessageW(found, WM_HOTKEY, 261, 0xAF0000));
    // The dialog's own: a timer message, and a repaint, stay with the dialog manager.
    ASSERT_TRUE(PostMessageW(found, WM_TIMER, 7, 0));
    ASSERT_TRUE(PostMessageW(found, WM_CLOSE, 0, 0));
    const auto got = probe->take(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(probe->pending(), 0u);
    EXPECT_EQ(got[0], (testsupport::ProbedMessage{WM_USER + 0x101, 512, 32}));
    EXPECT_EQ(got[1], (testsupport::ProbedMessage{WM_HOTKEY, 261, 0xAF0000}));
    EXPECT_EQ(got[2], (testsupport::ProbedMessage{WM_CLOSE, 0, 0}));
    // The window stays: the program decides what a close means.
    EXPECT_TRUE(IsWindow(found));
}

}  // namespace
