// The notice window: what the system sends it becomes the port's notices, whatever the number
// a sender put in lParam, and a session end waits for its handling.
#include "platform/win32/power/windows_power.h"

#include <gtest/gtest.h>

#include "fake_power_system.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using fake_power::fake;
using platform::PowerNotice;
using platform::PowerSetting;

constexpr GUID kMonitor = {
    0x02731015, 0x4510, 0x4526, {0x99, 0xE6, 0xE5, 0xA1, 0x7E, 0xBD, 0x1A, 0xEA}};
constexpr GUID kPersonality = {
    0x245D8541, 0x3943, 0x4422, {0xB0, 0x25, 0x13, 0xA7, 0x84, 0xF6, 0x79, 0xB7}};
constexpr GUID kOther = {
    0x3C0BC021, 0xC8A8, 0x4E07, {0xA9, 0x73, 0x6B, 0x14, 0xCB, 0xCB, 0x2B, 0x7E}};

struct Record {
    GUID setting;
    DWORD length;
    DWORD data;
};

// The notices as they arrive, from the window's thread.
struct Notices {
    std::mutex m;
    std::condition_variable cv;
    std::vector<PowerNotice> list;

    void add(PowerNotice n) {
        std::lock_guard l(m);
        list.push_back(std::move(n));
        cv.notify_all();
    }
    PowerNotice waitFor(std::size_t count) {
        std::unique_lock l(m);
        cv.wait(l, [&] { return list.size() >= count; });
        return list[count - 1];
    }
};

LRESULT send(HWND hwnd, const Record& r) {
    return SendMessageW(hwnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                        reinterpret_cast<LPARAM>(&r));
}

TEST(PowerNoticeWindow, RegistersItsOwnWindowForTheSettings) {
    fake_power::reset();
    platform::win32::WindowsPower power(fake_power::calls());
    EXPECT_EQ(power.registerPowerSetting(PowerSetting::MonitorPowerOn), 0x77u);
    EXPECT_EQ(power.registerPowerSetting(PowerSetting::SchemePersonality), 0x77u);
    ASSERT_NE(power.noticeWindow(), nullptr);
    EXPECT_EQ(fake.registeredWindow, power.noticeWindow());
    EXPECT_EQ(fake.log,
              (std::vector<std::string>{"RegisterPowerSettingNotification monitor 0",
                                        "RegisterPowerSettingNotification personality 0"}));
    fake.missing = {"RegisterPowerSettingNotification"};
    EXPECT_EQ(power.registerPowerSetting(PowerSetting::MonitorPowerOn), 0u);
    // A top-level window: the session-end query reaches only those.
    EXPECT_EQ(GetAncestor(static_cast<HWND>(power.noticeWindow()), GA_PARENT), GetDesktopWindow());
}

TEST(PowerNoticeWindow, SettingChangesBecomeNoticesAndNothingElseDoes) {
    fake_power::reset();
    platform::win32::WindowsPower power(fake_power::calls());
    Notices notices;
    power.start([&](PowerNotice n) { notices.add(std::move(n)); });
    auto hwnd = static_cast<HWND>(power.noticeWindow());
    ASSERT_NE(hwnd, nullptr);

    EXPECT_TRUE(send(hwnd, Record{kMonitor, 4, 0}));
    EXPECT_TRUE(send(hwnd, Record{kPersonality, 16, 7}));
    // Another setting, a record too short for its value, another broadcast, and numbers that
    // are no record at all: nothing, and the window lives on.
    send(hwnd, Record{kOther, 4, 3});
    send(hwnd, Record{kMonitor, 2, 9});
    Record resumed{kMonitor, 4, 5};
    SendMessageW(hwnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC,
                 reinterpret_cast<LPARAM>(&resumed));
    SendMessageW(hwnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 0);
    SendMessageW(hwnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 0x10);
    PostMessageW(hwnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, static_cast<LPARAM>(-8));
    // Posted after the bad one, so handled after it.
    Record monitorOn{kMonitor, 4, 1};
    PostMessageW(hwnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                 reinterpret_cast<LPARAM>(&monitorOn));

    // The last one posted arrives last: everything before it was handled by then.
    std::unique_lock l(notices.m);
    notices.cv.wait(l, [&] { return !notices.list.empty() && notices.list.back().data == 1; });
    ASSERT_EQ(notices.list.size(), 3u);
    EXPECT_EQ(notices.list[0].kind, PowerNotice::Kind::SettingChange);
    EXPECT_EQ(notices.list[0].setting, PowerSetting::MonitorPowerOn);
    EXPECT_EQ(notices.list[0].data, 0u);
    EXPECT_EQ(notices.list[1].setting, PowerSetting::SchemePersonality);
    EXPECT_EQ(notices.list[1].data, 7u);
    EXPECT_EQ(notices.list[2].setting, PowerSetting::MonitorPowerOn);
}

TEST(PowerNoticeWindow, SessionEndIsAnsweredOnlyOnceHandled) {
    fake_power::reset();
    platform::win32::WindowsPower power(fake_power::calls());
    Notices notices;
    power.start([&](PowerNotice n) { notices.add(std::move(n)); });
    auto hwnd = static_cast<HWND>(power.noticeWindow());
    ASSERT_NE(hwnd, nullptr);

    HANDLE answered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    LRESULT answer = 0;
    std::thread session([&] {
        answer = SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0);
        SetEvent(answered);
    });
    PowerNotice n = notices.waitFor(1);
    EXPECT_EQ(n.kind, PowerNotice::Kind::SessionEnd);
    ASSERT_TRUE(n.handled);
    // Unanswered while its handling is under way.
    EXPECT_EQ(WaitForSingleObject(answered, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    n.handled();
    EXPECT_EQ(WaitForSingleObject(answered, INFINITE), WAIT_OBJECT_0);
    session.join();
    CloseHandle(answered);
    // Never a refusal.
    EXPECT_EQ(answer, TRUE);
}

// Wine has no power notices of its own; its registration still answers with a handle.
TEST(PowerNoticeWindowOnTheSystem, RegistrationIsAccepted) {
    platform::win32::WindowsPower power;
    EXPECT_NE(power.registerPowerSetting(PowerSetting::MonitorPowerOn), 0u);
}

}  // namespace
