// The adapters on the session bus, against python3-dbusmock on a private bus: the OSD as desktop
// notifications, and the volume keys through the desktop portal's global shortcuts.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/support/session_mock.h"

namespace {

using namespace std::chrono;

// The Notify lines of the mock's call log.
std::vector<std::string> notices(const testsupport::SessionMock& mock) {
    std::vector<std::string> out;
    const std::string log = mock.callLog();
    std::size_t at = 0;
    while ((at = log.find(" Notify ", at)) != std::string::npos) {
        const std::size_t end = log.find('\n', at);
        out.push_back(log.substr(at + 1, end - at - 1));
        at = end;
    }
    return out;
}

// Notify's replaces_id, and the "value" hint (-1 when there is none).
int replaces(const std::string& notice) {
    std::smatch m;
    return std::regex_search(notice, m, std::regex(R"(^Notify "veskosd" (\d+) )")) ? std::stoi(m[1])
                                                                                   : -1;
}
int valueHint(const std::string& notice) {
    std::smatch m;
    return std::regex_search(notice, m, std::regex(R"("value": (-?\d+))")) ? std::stoi(m[1]) : -1;
}

TEST(NotificationOsdE2E, EachShowSendsItsLevelAsTheValueHintAndReplacesTheNoticeBefore) {
    testsupport::SessionMock daemon("notification_daemon", "org.freedesktop.Notifications");
    e2e::Daemon d({"--machine", "sim", "--osd", "notification"});
    EXPECT_NE(d.stderrText().find("osd=notification"), std::string::npos) << d.stderrText();

    ASSERT_EQ(d.client({"key", "volume-up"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return notices(daemon).size() == 1; })) << daemon.callLog();
    const int first = d.status()["VolumeCount"];
    ASSERT_EQ(d.client({"key", "volume-up"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return notices(daemon).size() == 2; }));
    ASSERT_EQ(d.client({"key", "brightness-down"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return notices(daemon).size() == 3; }));

    const auto n = notices(daemon);
    EXPECT_EQ(replaces(n[0]), 0) << n[0];
    EXPECT_EQ(valueHint(n[0]), first) << n[0];
    EXPECT_NE(n[0].find("\"Volume\""), std::string::npos) << n[0];
    EXPECT_NE(n[0].find(R"("x-canonical-private-synchronous": "veskosd")"), std::string::npos);
    // The mock gives the first notice id 1; every later one replaces it.
    EXPECT_EQ(replaces(n[1]), 1) << n[1];
    EXPECT_EQ(valueHint(n[1]), first + 1) << n[1];
    EXPECT_EQ(replaces(n[2]), 1) << n[2];
    EXPECT_NE(n[2].find("\"Brightness\""), std::string::npos) << n[2];
    EXPECT_EQ(valueHint(n[2]), d.status()["BRIGHTNESSCount"]) << n[2];
    // The fade that follows sends nothing.
    EXPECT_TRUE(e2e::eventually([&] { return d.status()["osd"]["alpha"] == 0; }));
    EXPECT_EQ(notices(daemon).size(), 3u);
}

TEST(NotificationOsdE2E, WithoutANotificationServerOneLineIsLoggedAndTheKeysStillWork) {
    testsupport::SessionMock empty("", "");
    e2e::Daemon d({"--machine", "sim", "--osd", "notification"});
    const int volume = d.status()["VolumeCount"];
    const auto failures = [&] {
        return static_cast<int>(e2e::occurrences(d.stderrText(), "desktop notification:"));
    };
    ASSERT_EQ(d.client({"key", "volume-up"}).status, 0);
    ASSERT_TRUE(e2e::eventually([&] { return failures() == 1; })) << d.stderrText();
    ASSERT_EQ(d.client({"key", "volume-up"}).status, 0);
    EXPECT_EQ(e2e::settled(failures, milliseconds(500)), 1) << d.stderrText();
    EXPECT_EQ(d.status()["VolumeCount"], volume + 2);
}

// A server that has stopped answering holds up neither a key nor the daemon's answers; once it
// answers again it gets the level as it is by then.
TEST(NotificationOsdE2E, AServerThatStopsAnsweringHoldsUpNothingAndGetsTheLatestLevelLater) {
    testsupport::SessionMock server("notification_daemon", "org.freedesktop.Notifications");
    e2e::Daemon d({"--machine", "sim", "--osd", "notification"});
    ASSERT_EQ(kill(server.pid(), SIGSTOP), 0);
    const int volume = d.status()["VolumeCount"];
    for (int i = 0; i < 3; ++i) {
        const auto r = d.client({"key", "volume-up"});
        ASSERT_EQ(r.status, 0);
        EXPECT_LT(r.seconds, 1.0);
    }
    EXPECT_EQ(d.status()["VolumeCount"], volume + 3);
    // The first call times out after 2 s; the server then wakes up.
    ASSERT_TRUE(e2e::eventually(
        [&] { return e2e::occurrences(d.stderrText(), "desktop notification:") == 1; }));
    ASSERT_EQ(kill(server.pid(), SIGCONT), 0);
    ASSERT_TRUE(e2e::eventually([&] {
        const auto n = notices(server);
        return !n.empty() && valueHint(n.back()) == volume + 3;
    })) << server.callLog();
}

class PortalE2E : public ::testing::Test {
protected:
    static bool logged(const e2e::Daemon& d, const std::string& what) {
        return e2e::eventually([&] { return d.stderrText().find(what) != std::string::npos; });
    }
};

TEST_F(PortalE2E, TheVolumeKeysAreBoundOnceAndEachActivationIsItsHotKey) {
    testsupport::SessionMock portal(VESKOSD_PORTAL_TEMPLATE, "org.freedesktop.portal.Desktop");
    e2e::Daemon d({"--machine", "sim", "--portal-shortcuts", "--verbose"});
    ASSERT_TRUE(logged(d, "portal shortcuts: bound")) << d.stderrText();
    EXPECT_NE(d.stderrText().find("portal shortcuts: bound volume-up (XF86AudioRaiseVolume), "
                                  "volume-down (XF86AudioLowerVolume), mute (XF86AudioMute)"),
              std::string::npos)
        << d.stderrText();
    const std::string calls = portal.callLog();
    EXPECT_EQ(e2e::occurrences(calls, "CreateSession "), 1u) << calls;
    EXPECT_EQ(e2e::occurrences(calls, "BindShortcuts "), 1u) << calls;

    const int volume = d.status()["VolumeCount"];
    const std::string mock = "/org/freedesktop/portal/desktop";
    portal.call(mock, "org.freedesktop.DBus.Mock.Activate", {"volume-up"});
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["VolumeCount"] == volume + 1; }));
    // Not one of ours: ignored.
    portal.call(mock, "org.freedesktop.DBus.Mock.Activate", {"panel"});
    portal.call(mock, "org.freedesktop.DBus.Mock.Activate", {"mute"});
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["fVolumeMute"] == 1; }));
    portal.call(mock, "org.freedesktop.DBus.Mock.Activate", {"volume-down"});
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["VolumeCount"] == volume; }));
    const std::string err = d.stderrText();
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY wParam 261 lParam 11468800,"), 1u) << err;
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY wParam 260 lParam 11337728,"), 1u);
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY wParam 259 lParam 11403264,"), 1u);
    EXPECT_EQ(e2e::occurrences(err, "WM_HOTKEY"), 3u);
}

// The portal ends and starts again: the daemon binds the same shortcuts in a new session.
TEST_F(PortalE2E, APortalThatComesBackGetsANewSessionWithTheSameShortcuts) {
    testsupport::SessionMock portal(VESKOSD_PORTAL_TEMPLATE, "org.freedesktop.portal.Desktop");
    e2e::Daemon d({"--machine", "sim", "--portal-shortcuts"});
    ASSERT_TRUE(logged(d, "portal shortcuts: bound")) << d.stderrText();
    portal.restart();
    ASSERT_TRUE(e2e::eventually([&] {
        return e2e::occurrences(d.stderrText(), "portal shortcuts: bound volume-up") == 2;
    })) << d.stderrText();
    EXPECT_EQ(e2e::occurrences(d.stderrText(), "portal shortcuts: the desktop portal went away"),
              1u);
    const int volume = d.status()["VolumeCount"];
    portal.call("/org/freedesktop/portal/desktop", "org.freedesktop.DBus.Mock.Activate",
                {"volume-up"});
    ASSERT_TRUE(e2e::eventually([&] { return d.status()["VolumeCount"] == volume + 1; }));
}

TEST_F(PortalE2E, APortalThatRefusesOrIsAbsentLeavesOneLineAndTheDaemonGoesOn) {
    struct Case {
        const char* templ;
        const char* parameters;
        const char* line;
    };
    for (const Case& c :
         {Case{VESKOSD_PORTAL_TEMPLATE, R"({"answer": "refuse"})",
               "portal shortcuts: the shortcuts were not granted (response 1)"},
          Case{VESKOSD_PORTAL_TEMPLATE, R"({"answer": "no-session"})",
               "portal shortcuts: the desktop refused a session (response 2)"},
          Case{"", "{}", "portal shortcuts: the desktop portal offers no global"}}) {
        testsupport::SessionMock portal(c.templ, *c.templ ? "org.freedesktop.portal.Desktop" : "",
                                        c.parameters);
        e2e::Daemon d({"--machine", "sim", "--portal-shortcuts"});
        ASSERT_TRUE(logged(d, c.line)) << d.stderrText();
        EXPECT_EQ(e2e::occurrences(d.stderrText(), "portal shortcuts:"), 1u) << d.stderrText();
        const int volume = d.status()["VolumeCount"];
        ASSERT_EQ(d.client({"key", "volume-up"}).status, 0);
        EXPECT_EQ(d.status()["VolumeCount"], volume + 1);
    }
}

}  // namespace
