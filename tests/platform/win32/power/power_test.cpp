// The power port's calls as the system would get them: Wine lacks PowrProf's value calls and
// ExitWindowsEx ends its whole prefix, so these stand in for the system; the calls Wine does
// have are made for real at the end.
#include "platform/ports.h"
#include "platform/win32/power/windows_power.h"
#include "power/power_handling.h"

#include <gtest/gtest.h>

#include "fake_power_system.h"

#include <memory>
#include <string>
#include <vector>

namespace {

using fake_power::fake;
using platform::PowerButton;
using Log = std::vector<std::string>;

constexpr GUID kScheme = {
    0x381B4222, 0xF694, 0x41F0, {0x96, 0x85, 0xFF, 0x5B, 0xB2, 0x60, 0xDF, 0x2E}};
const std::string kSchemeText = "{381B4222-F694-41F0-9685-FF5BB260DF2E}";

std::unique_ptr<platform::win32::WindowsPower> makePower() {
    fake_power::reset();
    return std::make_unique<platform::win32::WindowsPower>(fake_power::calls());
}

TEST(WindowsPower, SchemeValuesGoToTheButtonSettingsOfTheScheme) {
    auto power = makePower();
    fake.active = kScheme;
    EXPECT_EQ(power->activeScheme(), kSchemeText);
    fake.readValue = 1;
    EXPECT_EQ(power->readButtonAction(kSchemeText, PowerButton::Power), 1);
    fake.readValue = 2;
    EXPECT_EQ(power->readButtonAction(kSchemeText, PowerButton::Sleep), 2);
    EXPECT_TRUE(power->writeButtonAction(kSchemeText, PowerButton::Power, 3));
    EXPECT_TRUE(power->writeButtonAction(kSchemeText, PowerButton::Sleep, 0));
    EXPECT_TRUE(power->activateScheme(kSchemeText));
    EXPECT_EQ(fake.log,
              (Log{"PowerGetActiveScheme", "PowerReadACValueIndex " + kSchemeText + " power",
                   "PowerReadACValueIndex " + kSchemeText + " sleep",
                   "PowerWriteACValueIndex " + kSchemeText + " power 3",
                   "PowerWriteACValueIndex " + kSchemeText + " sleep 0",
                   "PowerSetActiveScheme " + kSchemeText}));
    // The library is let go after every use.
    EXPECT_EQ(fake.powrProfLoads, 0);
}

TEST(WindowsPower, FailuresAreReportedAndBadSchemesNeverReachTheSystem) {
    auto power = makePower();
    fake.valueResult = ERROR_ACCESS_DENIED;
    fake.activeResult = ERROR_CALL_NOT_IMPLEMENTED;
    EXPECT_EQ(power->activeScheme(), std::nullopt);
    EXPECT_EQ(power->readButtonAction(kSchemeText, PowerButton::Power), std::nullopt);
    EXPECT_FALSE(power->writeButtonAction(kSchemeText, PowerButton::Power, 3));
    EXPECT_FALSE(power->activateScheme(kSchemeText));
    EXPECT_EQ(fake.log.size(), 4u);

    fake.log.clear();
    fake.valueResult = ERROR_SUCCESS;
    for (const std::string bad :
         {"", "{381B4222-F694-41F0-9685-FF5BB260DF2}", "{381B4222-F694-41F0-9685-FF5BB260DF2G}",
          "{381B4222+F694-41F0-9685-FF5BB260DF2E}", "(381B4222-F694-41F0-9685-FF5BB260DF2E)"}) {
        EXPECT_EQ(power->readButtonAction(bad, PowerButton::Power), std::nullopt) << bad;
        EXPECT_FALSE(power->writeButtonAction(bad, PowerButton::Sleep, 1)) << bad;
        EXPECT_FALSE(power->activateScheme(bad)) << bad;
    }
    EXPECT_TRUE(fake.log.empty());
    // Lower-case digits name the same scheme.
    EXPECT_TRUE(power->activateScheme("{381b4222-f694-41f0-9685-ff5bb260df2e}"));
    EXPECT_EQ(fake.log, Log{"PowerSetActiveScheme " + kSchemeText});
}

TEST(WindowsPower, SchemeFunctionsNeedAllFourAndTheLibrary) {
    auto power = makePower();
    EXPECT_TRUE(power->schemeFunctionsAvailable());
    for (const char* name : {"PowerWriteACValueIndex", "PowerReadACValueIndex",
                             "PowerSetActiveScheme", "SetSuspendState"}) {
        fake.missing = {name};
        EXPECT_FALSE(power->schemeFunctionsAvailable()) << name;
    }
    fake.missing.clear();
    fake.powrProfPresent = false;
    EXPECT_FALSE(power->schemeFunctionsAvailable());
    EXPECT_FALSE(power->suspend(false));
    EXPECT_EQ(power->activeScheme(), std::nullopt);
    EXPECT_EQ(fake.powrProfLoads, 0);
    EXPECT_TRUE(fake.log.empty());
}

TEST(WindowsPower, SuspendAndExecutionStateAsAsked) {
    auto power = makePower();
    EXPECT_TRUE(power->suspend(false));
    EXPECT_TRUE(power->suspend(true));
    power->setExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    power->setExecutionState(ES_CONTINUOUS);
    // Not forced, wake events disabled.
    EXPECT_EQ(fake.log,
              (Log{"SetSuspendState 0 0 1", "SetSuspendState 1 0 1",
                   "SetThreadExecutionState 80000003", "SetThreadExecutionState 80000000"}));
}

TEST(WindowsPower, CancelShutdownOnlyWhereUser32HasIt) {
    auto power = makePower();
    EXPECT_TRUE(power->cancelShutdown());
    fake.missing = {"CancelShutdown"};
    EXPECT_FALSE(power->cancelShutdown());
    EXPECT_EQ(fake.log, Log{"CancelShutdown"});
    EXPECT_EQ(fake.user32Loads, 0);
}

// Through the program's own shutdown, which takes the privilege around the call.
TEST(WindowsPower, ShutdownRunsWithThePrivilegeEnabledAndGivesItBack) {
    platform::Ports ports;
    auto power = makePower();
    auto* p = power.get();
    ports.power = std::move(power);
    platform::installPorts(std::move(ports));
    p->disableShutdownPrivilege();
    ASSERT_FALSE(fake_power::shutdownPrivilegeEnabled());

    EXPECT_EQ(ShutdownSystem(), 1);
    EXPECT_EQ(fake.log, Log{"InitiateSystemShutdownW 0 0 0 privileged"});
    EXPECT_FALSE(fake_power::shutdownPrivilegeEnabled());

    fake.log.clear();
    fake.shutdownResult = FALSE;
    EXPECT_EQ(ShutdownSystem(), 0);
    EXPECT_EQ(fake.log, Log{"InitiateSystemShutdownW 0 0 0 privileged"});
    p->disableShutdownPrivilege();
    platform::installPorts({});
}

TEST(WindowsPower, PowerOffIsForced) {
    auto power = makePower();
    ASSERT_TRUE(power->enableShutdownPrivilege());
    EXPECT_TRUE(power->powerOff());
    power->disableShutdownPrivilege();
    EXPECT_EQ(fake.log, Log{"ExitWindowsEx C 0 privileged"});
}

// The calls Wine does implement, made for real.
TEST(WindowsPowerOnTheSystem, PrivilegeSchemeAndExecutionState) {
    platform::win32::WindowsPower power;
    ASSERT_TRUE(power.enableShutdownPrivilege());
    EXPECT_TRUE(fake_power::shutdownPrivilegeEnabled());
    power.disableShutdownPrivilege();
    EXPECT_FALSE(fake_power::shutdownPrivilegeEnabled());

    // A scheme, where the system tells one, in the form the value calls take back.
    if (auto scheme = power.activeScheme()) {
        EXPECT_EQ(scheme->size(), 38u);
        EXPECT_EQ(scheme->front(), '{');
    }
    power.setExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS),
              static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        // Wine lacks the value calls and CancelShutdown: looked up, not found, never called, and
        // the blocked state is never entered.
        EXPECT_FALSE(power.schemeFunctionsAvailable());
        EXPECT_EQ(power.readButtonAction(kSchemeText, PowerButton::Power), std::nullopt);
        EXPECT_FALSE(power.writeButtonAction(kSchemeText, PowerButton::Power, 3));
        EXPECT_FALSE(power.cancelShutdown());
    }
}

}  // namespace
