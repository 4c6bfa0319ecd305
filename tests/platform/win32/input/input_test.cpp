// Hot keys, the low-level hooks and injected keys on the system's own calls: keys injected with
// keybd_event inside Wine go through the hooks, the hot keys and the key state as typed ones do.
#include "platform/win32/input/windows_input.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <tuple>

#include "tests/platform/win32/input/recorder.h"

namespace {

using platform::win32::WindowsInputDevices;
using HotKey = std::tuple<uint32_t, uint32_t, uint32_t>;

void press(BYTE vk) {
    keybd_event(vk, 0, KEYEVENTF_EXTENDEDKEY, 0);
    keybd_event(vk, 0, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
}

TEST(WindowsHotKeys, APressReachesTheHandlerWithItsIdModifiersAndKey) {
    WindowsInputDevices input;
    testsupport::Recorder<HotKey> hits;
    input.start({}, [&](uint32_t id, uint32_t modifiers, uint32_t vk) {
        hits.add({id, modifiers, vk});
    });
    ASSERT_TRUE(input.registerHotKey(261, 0, VK_VOLUME_UP));
    ASSERT_TRUE(input.registerHotKey(259, MOD_SHIFT, VK_VOLUME_DOWN));
    press(VK_VOLUME_UP);
    keybd_event(VK_SHIFT, 0, 0, 0);
    press(VK_VOLUME_DOWN);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    // Without its modifier the second key is no hot key.
    press(VK_VOLUME_DOWN);
    press(VK_VOLUME_UP);
    const auto got = hits.waitFor(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], HotKey(261, 0, VK_VOLUME_UP));
    EXPECT_EQ(got[1], HotKey(259, MOD_SHIFT, VK_VOLUME_DOWN));
    EXPECT_EQ(got[2], HotKey(261, 0, VK_VOLUME_UP));
}

constexpr wchar_t kHeldEvent[] = L"veskosd input_tests hot key held";
constexpr wchar_t kReleaseEvent[] = L"veskosd input_tests hot key release";

// Run only as the other process of the next test: holds the mute key until told to let go.
TEST(WindowsHotKeys, DISABLED_HoldTheMuteKey) {
    HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, kHeldEvent);
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, kReleaseEvent);
    ASSERT_TRUE(held && release);
    ASSERT_TRUE(RegisterHotKey(nullptr, 1, 0, VK_VOLUME_MUTE));
    SetEvent(held);
    EXPECT_EQ(WaitForSingleObject(release, 30000), WAIT_OBJECT_0);
}

TEST(WindowsHotKeys, AKeyHeldByAnotherProcessIsRefusedUntilItEnds) {
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, kHeldEvent);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, kReleaseEvent);
    ASSERT_TRUE(held && release);
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring command = std::wstring(L"\"") + self +
                           L"\" --gtest_also_run_disabled_tests"
                           L" --gtest_filter=WindowsHotKeys.DISABLED_HoldTheMuteKey";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION holder{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &holder));
    HANDLE waits[] = {held, holder.hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, 30000), WAIT_OBJECT_0)
        << "the other process did not take the key";

    WindowsInputDevices input;
    testsupport::Recorder<HotKey> hits;
    input.start({}, [&](uint32_t id, uint32_t modifiers, uint32_t vk) {
        hits.add({id, modifiers, vk});
    });
    EXPECT_FALSE(input.registerHotKey(260, 0, VK_VOLUME_MUTE));
    SetEvent(release);
    ASSERT_EQ(WaitForSingleObject(holder.hProcess, 30000), WAIT_OBJECT_0);
    DWORD status = 1;
    GetExitCodeProcess(holder.hProcess, &status);
    EXPECT_EQ(status, 0u) << "the other process failed";
    CloseHandle(holder.hThread);
    CloseHandle(holder.hProcess);
    CloseHandle(held);
    CloseHandle(release);

    ASSERT_TRUE(input.registerHotKey(260, 0, VK_VOLUME_MUTE));
    press(VK_VOLUME_MUTE);
    const auto got = hits.waitFor(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], HotKey(260, 0, VK_VOLUME_MUTE));
}

struct SeenKey {
    WPARAM message;
    DWORD vk;
    DWORD flags;
};

TEST(WindowsHooks, InjectedControlIsTheSidedKeyAndIsSwallowedOnlyWhileBlocking) {
    WindowsInputDevices input;
    testsupport::Recorder<SeenKey> seen;
    std::atomic<base::LRESULT> answer{1};
    input.installHooks(
        [&](int, base::WPARAM message, const platform::KBDLLHOOKSTRUCT& k) {
            seen.add({message, k.vkCode, k.flags});
            return answer.load();
        },
        [](int, base::WPARAM, const platform::MSLLHOOKSTRUCT&) { return base::LRESULT{0}; });

    // Not blocking: the hook's wish to swallow is not followed.
    input.injectKey(VK_RCONTROL, false);
    EXPECT_TRUE(input.keyDown(VK_CONTROL));
    EXPECT_TRUE(input.keyDown(VK_RCONTROL));
    input.injectKey(VK_RCONTROL, true);
    EXPECT_FALSE(input.keyDown(VK_CONTROL));

    input.setBlocking(true);
    input.injectKey(VK_LCONTROL, false);
    EXPECT_FALSE(input.keyDown(VK_CONTROL)) << "a swallowed key is not down";
    answer = 0;
    input.injectKey(VK_LCONTROL, false);
    EXPECT_TRUE(input.keyDown(VK_LCONTROL)) << "a key passed on while blocking is down";
    input.injectKey(VK_LCONTROL, true);
    EXPECT_FALSE(input.keyDown(VK_CONTROL));

    const auto got = seen.waitFor(5);
    ASSERT_EQ(got.size(), 5u);
    const DWORD keys[] = {VK_RCONTROL, VK_RCONTROL, VK_LCONTROL, VK_LCONTROL, VK_LCONTROL};
    const WPARAM messages[] = {WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN, WM_KEYDOWN, WM_KEYUP};
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].vk, keys[i]) << i;
        EXPECT_EQ(got[i].message, messages[i]) << i;
        EXPECT_NE(got[i].flags & LLKHF_INJECTED, 0u) << i;
    }
}

// The controller model's hook taps Control from inside the hook, on the hook's own thread.
TEST(WindowsHooks, AKeyInjectedFromInsideTheHookComesBackThroughIt) {
    WindowsInputDevices input;
    testsupport::Recorder<DWORD> seen;
    input.installHooks(
        [&](int, base::WPARAM message, const platform::KBDLLHOOKSTRUCT& k) {
            seen.add(k.vkCode);
            if (k.vkCode == VK_VOLUME_UP && message == WM_KEYDOWN) {
                input.injectKey(VK_RCONTROL, false);
                input.injectKey(VK_RCONTROL, true);
            }
            return base::LRESULT{0};
        },
        [](int, base::WPARAM, const platform::MSLLHOOKSTRUCT&) { return base::LRESULT{0}; });
    press(VK_VOLUME_UP);
    const auto got = seen.waitFor(4);
    EXPECT_EQ(got, (std::vector<DWORD>{VK_VOLUME_UP, VK_RCONTROL, VK_RCONTROL, VK_VOLUME_UP}));
}

TEST(WindowsHooks, TheMouseHookSeesMovesAndSwallowsThemOnlyWhileBlocking) {
    WindowsInputDevices input;
    testsupport::Recorder<std::pair<WPARAM, POINT>> moves;
    input.installHooks(
        [](int, base::WPARAM, const platform::KBDLLHOOKSTRUCT&) { return base::LRESULT{0}; },
        [&](int, base::WPARAM message, const platform::MSLLHOOKSTRUCT& m) {
            moves.add({message, POINT{m.x, m.y}});
            return base::LRESULT{1};
        });
    // Absolute coordinates: 0..65535 across the primary screen.
    auto moveTo = [](LONG x, LONG y) {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dx = (x * 65536 + GetSystemMetrics(SM_CXSCREEN) - 1) / GetSystemMetrics(SM_CXSCREEN);
        in.mi.dy = (y * 65536 + GetSystemMetrics(SM_CYSCREEN) - 1) / GetSystemMetrics(SM_CYSCREEN);
        in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        ASSERT_EQ(SendInput(1, &in, sizeof in), 1u);
    };
    moveTo(100, 120);
    POINT at{};
    ASSERT_TRUE(GetCursorPos(&at));
    EXPECT_EQ(at.x, 100);
    EXPECT_EQ(at.y, 120);
    input.setBlocking(true);
    moveTo(300, 320);
    ASSERT_TRUE(GetCursorPos(&at));
    EXPECT_EQ(at.x, 100) << "a swallowed move moves nothing";

    const auto got = moves.waitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].first, WPARAM{WM_MOUSEMOVE});
    EXPECT_EQ(got[0].second.x, 100);
    EXPECT_EQ(got[1].second.y, 320);
}

}  // namespace
