// The logind power adapter against python3-dbusmock's logind template on a private bus.
#include "platform/linux/logind/logind_power.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include "platform/linux/logind/x11_power_keys.h"
#include "tests/support/dbusmock.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

namespace {

using platform::ES_CONTINUOUS;
using platform::ES_DISPLAY_REQUIRED;
using platform::ES_SYSTEM_REQUIRED;
using platform::PowerButton;
using platform::PowerNotice;
using platform::PowerSetting;
using platform::linux_adapter::LogindPower;
using platform::linux_adapter::LogindTimings;
using Clock = std::chrono::steady_clock;

constexpr const char* kManager = "org.freedesktop.login1.Manager";

bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds within = std::chrono::seconds(5)) {
    const auto deadline = Clock::now() + within;
    while (Clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// Notices as the adapter delivers them, from whichever thread.
class Notices {
public:
    std::function<void(PowerNotice)> sink() {
        return [this](PowerNotice n) {
            std::lock_guard l(m_);
            list_.push_back(std::move(n));
            cv_.notify_all();
        };
    }
    // The first notice of `kind` (and `setting`), waiting up to five seconds for it.
    std::optional<PowerNotice> first(PowerNotice::Kind kind,
                                     PowerSetting setting = PowerSetting::MonitorPowerOn) {
        std::unique_lock l(m_);
        std::optional<PowerNotice> found;
        cv_.wait_for(l, std::chrono::seconds(5), [&] {
            for (const auto& n : list_) {
                if (n.kind == kind &&
                    (kind == PowerNotice::Kind::SessionEnd || n.setting == setting)) {
                    found = n;
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    std::size_t count() {
        std::lock_guard l(m_);
        return list_.size();
    }
    std::vector<PowerNotice> sessionEnds() {
        std::lock_guard l(m_);
        std::vector<PowerNotice> ends;
        for (const auto& n : list_) {
            if (n.kind == PowerNotice::Kind::SessionEnd) ends.push_back(n);
        }
        return ends;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<PowerNotice> list_;
};

LogindTimings quick() {
    LogindTimings t;
    t.callMs = 1500;
    t.sleepStartMs = 300;
    t.wakeMs = 5000;
    return t;
}

class LogindPowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        mock_.setManagerString("HandlePowerKey", "poweroff");
        mock_.setManagerString("HandleSuspendKey", "suspend");
    }
    void TearDown() override { testsupport::removeTree(dir_); }

    std::unique_ptr<LogindPower> make() {
        return std::make_unique<LogindPower>(dir_, nullptr, quick(), dir_ + "/no-input");
    }
    // One that hears the power and sleep keys through this X server.
    std::unique_ptr<LogindPower> makeHearing(const testsupport::Xvfb& x) {
        auto power = make();
        power->addKeySource(std::make_unique<platform::linux_adapter::X11PowerKeys>(x.display()));
        return power;
    }
    // Whether the mock holds an inhibitor of ours with this what and mode.
    bool holds(const std::string& what, const std::string& mode) const {
        const std::regex lock("\\('" + what + "', 'veskosd', '[^']*', '" + mode + "'");
        return std::regex_search(mock_.inhibitors(), lock);
    }

    testsupport::LogindMock mock_;
    std::string dir_ = testsupport::makeTempDir("veskosd-power");
};

TEST_F(LogindPowerTest, KeepingTheSystemOnHoldsIdleAndShutdownBlocksUntilReleased) {
    auto power = make();
    // Without ES_CONTINUOUS nothing is to be held.
    power->setExecutionState(ES_SYSTEM_REQUIRED);
    EXPECT_FALSE(mock_.called("Inhibit"));
    EXPECT_FALSE(power->cancelShutdown());

    power->setExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    EXPECT_TRUE(holds("sleep:idle", "block"));
    EXPECT_TRUE(holds("shutdown", "block"));
    EXPECT_TRUE(power->cancelShutdown());
    // Asked twice, held once.
    power->setExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    EXPECT_EQ(std::regex_search(mock_.inhibitors(), std::regex("sleep:idle.*sleep:idle")), false);

    power->setExecutionState(ES_CONTINUOUS);
    EXPECT_FALSE(power->cancelShutdown());
    EXPECT_TRUE(eventually([&] { return !holds("sleep:idle", "block"); }));
    EXPECT_TRUE(eventually([&] { return !holds("shutdown", "block"); }));
}

TEST_F(LogindPowerTest, SessionEndKeepsTheDelayLockUntilHandledAndTakesANewOneAfterwards) {
    auto power = make();
    Notices notices;
    power->start(notices.sink());
    ASSERT_TRUE(eventually([&] { return holds("shutdown", "delay"); }));

    mock_.emit(kManager, "PrepareForShutdown", "b", "[<true>]");
    auto end = notices.first(PowerNotice::Kind::SessionEnd);
    ASSERT_TRUE(end);
    ASSERT_TRUE(end->handled);
    // The mock has seen a hang-up of a lock by the time it answers the next call.
    EXPECT_TRUE(holds("shutdown", "delay"));

    end->handled();
    EXPECT_TRUE(eventually([&] { return !holds("shutdown", "delay"); }));
    end->handled();  // a second call is harmless

    mock_.emit(kManager, "PrepareForShutdown", "b", "[<false>]");
    EXPECT_TRUE(eventually([&] { return holds("shutdown", "delay"); }));
}

TEST_F(LogindPowerTest, SuspendAndHibernateAreNotInteractiveAndSuspendReturnsAtTheWakeUp) {
    // Timing test: a suspend that missed the wake-up signal would wait sleepStartMs.
    mock_.replaceMethod("Suspend", "b", "",
                        "self.EmitSignal('org.freedesktop.login1.Manager', 'PrepareForSleep', "
                        "'b', [True]); self.EmitSignal('org.freedesktop.login1.Manager', "
                        "'PrepareForSleep', 'b', [False])");
    LogindTimings slowStart = quick();
    slowStart.sleepStartMs = 4000;
    LogindPower power(dir_, nullptr, slowStart, dir_ + "/no-input");
    const auto began = Clock::now();
    EXPECT_TRUE(power.suspend(false));
    EXPECT_LT(Clock::now() - began, std::chrono::milliseconds(3000));
    EXPECT_TRUE(mock_.called("Suspend False"));

    auto plain = make();
    EXPECT_TRUE(plain->suspend(true));
    EXPECT_TRUE(mock_.called("Hibernate False"));
}

TEST_F(LogindPowerTest, PowerOffAndShutdownBothCallPowerOffNotInteractive) {
    auto power = make();
    EXPECT_TRUE(power->powerOff());
    EXPECT_TRUE(mock_.called("PowerOff False"));
    const auto before = mock_.callLog();
    EXPECT_TRUE(power->shutdown());
    EXPECT_NE(mock_.callLog().find("PowerOff False", before.size()), std::string::npos);
    EXPECT_TRUE(power->enableShutdownPrivilege());
}

TEST(LogindPrivilegeTest, AChallengeIsNotAGrant) {
    testsupport::LogindMock mock(R"({"CanPowerOff": "challenge"})");
    LogindPower power("/nonexistent", nullptr, quick(), "/nonexistent");
    EXPECT_FALSE(power.enableShutdownPrivilege());
    EXPECT_TRUE(mock.called("CanPowerOff"));
}

TEST_F(LogindPowerTest, ButtonPropertyChangesAreAPersonalityNoticeOthersAreNot) {
    auto power = make();
    Notices notices;
    power->start(notices.sink());
    EXPECT_NE(power->registerPowerSetting(PowerSetting::SchemePersonality), 0u);
    ASSERT_TRUE(eventually([&] { return holds("shutdown", "delay"); }));

    mock_.call("org.freedesktop.DBus.Mock.UpdateProperties", {kManager, "{'IdleHint': <true>}"});
    mock_.setManagerString("HandleSuspendKey", "hibernate");
    ASSERT_TRUE(notices.first(PowerNotice::Kind::SettingChange, PowerSetting::SchemePersonality));
    EXPECT_EQ(notices.count(), 1u);

    // Invalidated, without a value, counts too.
    mock_.emit("org.freedesktop.DBus.Properties", "PropertiesChanged", "sa{sv}as",
               std::string("[<'") + kManager + "'>, <@a{sv} {}>, <['HandlePowerKey']>]");
    EXPECT_TRUE(eventually([&] { return notices.count() == 2; }));
}

TEST_F(LogindPowerTest, ButtonActionsMapLogindHandlersAndAnythingElseIsNothing) {
    auto power = make();
    const std::vector<std::pair<std::string, int32_t>> cases = {
        {"poweroff", 3}, {"suspend", 1}, {"hibernate", 2},   {"ignore", 0},
        {"lock", 0},     {"reboot", 0},  {"hybrid-sleep", 0}};
    for (const auto& [handle, action] : cases) {
        mock_.setManagerString("HandlePowerKey", handle);
        EXPECT_EQ(power->readButtonAction("logind", PowerButton::Power), action) << handle;
    }
    mock_.setManagerString("HandleSuspendKey", "hibernate");
    EXPECT_EQ(power->readButtonAction("logind", PowerButton::Sleep), 2);
    EXPECT_EQ(power->activeScheme(), "logind");
    EXPECT_TRUE(power->schemeFunctionsAvailable());
    EXPECT_FALSE(power->writeButtonAction("logind", PowerButton::Power, 4));
    EXPECT_FALSE(power->writeButtonAction("logind", PowerButton::Power, -1));
}

TEST_F(LogindPowerTest, WrittenActionsHoldTheKeysAcrossARestartUntilTheOriginalsReturn) {
    testsupport::Xvfb x;
    const std::string store = dir_ + "/PowerScheme.INI";
    {
        auto power = makeHearing(x);
        ASSERT_TRUE(power->writeButtonAction("logind", PowerButton::Power, 3));
        ASSERT_TRUE(power->writeButtonAction("logind", PowerButton::Sleep, 0));
        ASSERT_TRUE(power->activateScheme("logind"));
        EXPECT_TRUE(power->ownsKeys());
        EXPECT_TRUE(holds("handle-power-key:handle-suspend-key", "block"));
        EXPECT_EQ(power->readButtonAction("logind", PowerButton::Sleep), 0);
    }
    // The process is gone; the login manager has the keys back until the next start.
    EXPECT_TRUE(eventually([&] { return !holds("handle-power-key:handle-suspend-key", "block"); }));
    EXPECT_EQ(access(store.c_str(), F_OK), 0);

    auto power = makeHearing(x);
    Notices notices;
    power->start(notices.sink());
    EXPECT_TRUE(eventually([&] { return holds("handle-power-key:handle-suspend-key", "block"); }));
    EXPECT_EQ(power->readButtonAction("logind", PowerButton::Power), 3);
    EXPECT_EQ(power->readButtonAction("logind", PowerButton::Sleep), 0);

    // The originals written back: the store goes and logind has the keys again.
    ASSERT_TRUE(power->writeButtonAction("logind", PowerButton::Sleep, 1));
    ASSERT_TRUE(power->activateScheme("logind"));
    EXPECT_FALSE(power->ownsKeys());
    EXPECT_NE(access(store.c_str(), F_OK), 0);
    EXPECT_TRUE(eventually([&] { return !holds("handle-power-key:handle-suspend-key", "block"); }));
    EXPECT_EQ(power->readButtonAction("logind", PowerButton::Sleep), 1);
}

TEST_F(LogindPowerTest, WithNoKeyToHearTheKeysStayTheLoginManagersAndTheActionsAreKept) {
    auto power = make();
    ASSERT_TRUE(power->writeButtonAction("logind", PowerButton::Power, 3));
    ASSERT_TRUE(power->writeButtonAction("logind", PowerButton::Sleep, 0));
    ASSERT_TRUE(power->activateScheme("logind"));
    EXPECT_FALSE(power->ownsKeys());
    EXPECT_FALSE(holds("handle-power-key:handle-suspend-key", "block"));
    EXPECT_EQ(access((dir_ + "/PowerScheme.INI").c_str(), F_OK), 0);
    EXPECT_EQ(power->readButtonAction("logind", PowerButton::Power), 3);
}

TEST_F(LogindPowerTest, APowerKeyIsASessionEndThatPowersOffOnlyWhenNotRefused) {
    testsupport::Xvfb x;
    auto power = makeHearing(x);
    Notices notices;
    power->start(notices.sink());
    ASSERT_TRUE(power->writeButtonAction("logind", PowerButton::Power, 3));
    ASSERT_TRUE(power->writeButtonAction("logind", PowerButton::Sleep, 0));
    ASSERT_TRUE(power->activateScheme("logind"));
    ASSERT_TRUE(power->ownsKeys());

    // Kept on: the session end is refused, so the press is only heard.
    power->setExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    testsupport::run({"xdotool", "key", "XF86PowerOff"});
    ASSERT_TRUE(eventually([&] { return notices.sessionEnds().size() == 1; }));
    notices.sessionEnds()[0].handled();

    // Not kept on: once heard, the machine powers off.
    power->setExecutionState(ES_CONTINUOUS);
    testsupport::run({"xdotool", "key", "XF86PowerOff"});
    ASSERT_TRUE(eventually([&] { return notices.sessionEnds().size() == 2; }));
    EXPECT_FALSE(mock_.called("PowerOff"));
    notices.sessionEnds()[1].handled();
    EXPECT_TRUE(eventually([&] { return mock_.called("PowerOff False"); }));
    EXPECT_EQ(notices.sessionEnds().size(), 2u);
}

TEST_F(LogindPowerTest, ARestartedLoginManagerGetsTheLocksAgainAndIsAPersonalityChange) {
    auto power = make();
    Notices notices;
    power->start(notices.sink());
    ASSERT_NE(power->registerPowerSetting(PowerSetting::SchemePersonality), 0u);
    ASSERT_TRUE(eventually([&] { return holds("shutdown", "delay"); }));
    power->setExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    ASSERT_TRUE(holds("sleep:idle", "block"));

    mock_.restart();
    EXPECT_TRUE(eventually([&] {
        return holds("shutdown", "delay") && holds("sleep:idle", "block") &&
               holds("shutdown", "block");
    }));
    EXPECT_TRUE(notices.first(PowerNotice::Kind::SettingChange, PowerSetting::SchemePersonality));
    EXPECT_TRUE(power->cancelShutdown());
}

TEST_F(LogindPowerTest, ADamagedStoreIsIgnoredAndReplacedByTheNextWrite) {
    const std::string store = dir_ + "/PowerScheme.INI";
    // A save cut short left its new file; only that name goes.
    std::ofstream(store + ".Ab12Cd") << "x";
    std::ofstream(store + ".Ab12C") << "x";
    make();
    EXPECT_NE(access((store + ".Ab12Cd").c_str(), F_OK), 0);
    EXPECT_EQ(access((store + ".Ab12C").c_str(), F_OK), 0);
    for (const std::string& junk :
         {std::string("\x03\x00\x00", 3), std::string("\x07\x00\x00\x00\x00\x00\x00\x00", 8)}) {
        {
            std::ofstream out(store, std::ios::binary | std::ios::trunc);
            out << junk;
        }
        auto power = make();
        EXPECT_EQ(power->readButtonAction("logind", PowerButton::Power), 3);
        EXPECT_EQ(power->readButtonAction("logind", PowerButton::Sleep), 1);
        EXPECT_TRUE(power->activateScheme("logind"));
        EXPECT_FALSE(power->ownsKeys());
    }
    auto power = make();
    ASSERT_TRUE(power->writeButtonAction("logind", PowerButton::Sleep, 0));
    EXPECT_EQ(power->readButtonAction("logind", PowerButton::Power), 3);
    EXPECT_EQ(power->readButtonAction("logind", PowerButton::Sleep), 0);
}

// Every call of an adapter with `address` as its system bus, which must all fail within `bound`.
void expectAllFailFast(const std::string& address, std::chrono::milliseconds bound) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    const std::string dir = testsupport::makeTempDir("veskosd-power");
    LogindTimings t;
    t.callMs = 300;
    const auto began = Clock::now();
    {
        LogindPower power(dir, nullptr, t, dir);
        Notices notices;
        power.start(notices.sink());
        EXPECT_EQ(power.registerPowerSetting(PowerSetting::SchemePersonality), 0u);
        EXPECT_EQ(power.registerPowerSetting(PowerSetting::MonitorPowerOn), 0u);
        EXPECT_FALSE(power.activeScheme());
        EXPECT_FALSE(power.schemeFunctionsAvailable());
        EXPECT_FALSE(power.readButtonAction("logind", PowerButton::Power));
        EXPECT_FALSE(power.writeButtonAction("logind", PowerButton::Power, 3));
        power.setExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        EXPECT_FALSE(power.cancelShutdown());
        EXPECT_FALSE(power.suspend(false));
        EXPECT_FALSE(power.enableShutdownPrivilege());
        EXPECT_FALSE(power.powerOff());
        EXPECT_FALSE(power.shutdown());
    }
    EXPECT_LT(Clock::now() - began, bound);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    testsupport::removeTree(dir);
}

TEST(LogindNoBusTest, WithoutASystemBusEveryCallFailsAtOnce) {
    // Timing test: nothing may wait for a bus that is not there.
    expectAllFailFast("unix:path=/nonexistent/veskosd-bus", std::chrono::milliseconds(500));
}

TEST(LogindNoBusTest, ABusThatNeverAnswersCostsEachCallItsTimeOutOnly) {
    // Timing test: a socket that accepts and never speaks; 12 calls of 300 ms at most.
    const std::string dir = testsupport::makeTempDir("veskosd-mute-bus");
    const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = dir + "/bus";
    path.copy(addr.sun_path, sizeof(addr.sun_path) - 1);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(listen(s, 64), 0);
    expectAllFailFast("unix:path=" + path, std::chrono::milliseconds(6000));
    close(s);
    testsupport::removeTree(dir);
}

}  // namespace
