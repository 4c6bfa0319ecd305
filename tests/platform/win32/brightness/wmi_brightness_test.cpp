// WMI's brightness calls as the system would get them: Wine's WMI has no brightness object and
// crashes in ExecMethod, so a stand-in namespace answers; the real one is asked at the end.
#include "platform/win32/brightness/wmi_brightness.h"

#include <gtest/gtest.h>

#include "fake_wmi.h"

#include <memory>
#include <string>
#include <vector>

namespace {

using fake_wmi::fake;
using Log = std::vector<std::string>;

const std::string kPath = "\\\\.\\ROOT\\WMI:WmiMonitorBrightnessMethods.InstanceName=\"M0\"";

std::unique_ptr<platform::win32::WmiMonitorBrightness> makeBrightness() {
    fake_wmi::reset();
    return std::make_unique<platform::win32::WmiMonitorBrightness>(fake_wmi::calls());
}

// Whether COM was left initialised on this thread: a fresh initialisation says S_OK only if not.
bool comLeftInitialised() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr != S_OK;
}

fake_wmi::Step event(const wchar_t* cls, VARTYPE type, int64_t value,
                     HRESULT result = WBEM_S_NO_ERROR) {
    fake_wmi::Step s;
    s.result = result;
    s.className = cls;
    VariantInit(&s.brightness);
    V_VT(&s.brightness) = VT_I8;
    V_I8(&s.brightness) = value;
    VariantChangeType(&s.brightness, &s.brightness, 0, type);
    return s;
}

TEST(WmiMonitorBrightness, SetsTheFirstMonitorWithTheMethodsArguments) {
    auto brightness = makeBrightness();
    fake.instances = 2;
    EXPECT_TRUE(brightness->setLevel(55));
    EXPECT_EQ(fake.log, (Log{"ConnectServer ROOT\\WMI", "CoSetProxyBlanket 10 0 3 3 0",
                             "GetObject WmiMonitorBrightnessMethods", "GetMethod WmiSetBrightness",
                             "SpawnInstance", "CreateInstanceEnum WmiMonitorBrightnessMethods 0",
                             "Next", "Get __PATH", "Put Timeout 3 0", "Put Brightness 17 55",
                             "ExecMethod " + kPath + " WmiSetBrightness 0"}));
    EXPECT_EQ(fake.live, 0);
    EXPECT_FALSE(comLeftInitialised());
}

TEST(WmiMonitorBrightness, FailuresEndTheCallAndReleaseEverything) {
    auto brightness = makeBrightness();
    // No monitor to set: not available, and the method is never called.
    fake.instances = 0;
    EXPECT_FALSE(brightness->setLevel(10));
    EXPECT_EQ(fake.log.back(), "Next");
    // No enumeration: the class itself is named.
    fake.log.clear();
    fake.enumResult = WBEM_E_ACCESS_DENIED;
    EXPECT_TRUE(brightness->setLevel(10));
    EXPECT_EQ(fake.log.back(), "ExecMethod WmiMonitorBrightnessMethods WmiSetBrightness 0");
    fake.enumResult = S_OK;
    // A refused argument: no call.
    fake.log.clear();
    fake.instances = 1;
    fake.putResult = WBEM_E_TYPE_MISMATCH;
    EXPECT_FALSE(brightness->setLevel(10));
    EXPECT_EQ(fake.log.back(), "Put Timeout 3 0");
    fake.putResult = S_OK;
    fake.execResult = WBEM_E_FAILED;
    EXPECT_FALSE(brightness->setLevel(10));
    fake.getObjectResult = WBEM_E_INVALID_CLASS;
    fake.log.clear();
    EXPECT_FALSE(brightness->setLevel(10));
    EXPECT_EQ(fake.log.back(), "GetObject WmiMonitorBrightnessMethods");
    fake.connectResult = WBEM_E_INVALID_NAMESPACE;
    EXPECT_FALSE(brightness->setLevel(10));
    EXPECT_EQ(fake.live, 0);
    EXPECT_FALSE(comLeftInitialised());
}

TEST(WmiMonitorBrightness, EveryBrightnessEventIsANotice) {
    auto brightness = makeBrightness();
    auto notices = brightness->watch();
    ASSERT_NE(notices, nullptr);
    EXPECT_EQ(fake.log,
              (Log{"ConnectServer root\\wmi",
                   "ExecNotificationQuery WQL Select * from WmiMonitorBrightnessEvent 48"}));
    fake.events.push_back(fake_wmi::Step{WBEM_S_TIMEDOUT, L"", {}});
    fake.events.push_back(fake_wmi::Step{WBEM_S_FALSE, L"", {}});
    fake.events.push_back(event(L"WmiMonitorBrightnessEvent", VT_UI1, 40));
    // Another class, one that differs in case only, and one that only starts the same.
    fake.events.push_back(event(L"WmiMonitorConnectedEvent", VT_UI1, 1));
    fake.events.push_back(event(L"wmimonitorbrightnessevent", VT_UI1, 2));
    fake.events.push_back(event(L"WmiMonitorBrightnessEventX", VT_UI1, 3));
    // The low byte of a wider value.
    fake.events.push_back(event(L"WmiMonitorBrightnessEvent", VT_I4, 0x1FF));
    EXPECT_EQ(notices->next(), 40);
    EXPECT_EQ(notices->next(), 0xFF);
    EXPECT_TRUE(fake.events.empty());
    notices.reset();
    EXPECT_EQ(fake.live, 0);
    EXPECT_FALSE(comLeftInitialised());
}

TEST(WmiMonitorBrightness, NoNoticesWhereTheQueryFails) {
    auto brightness = makeBrightness();
    fake.queryResult = WBEM_E_UNPARSABLE_QUERY;
    EXPECT_EQ(brightness->watch(), nullptr);
    fake.connectResult = WBEM_E_INVALID_NAMESPACE;
    EXPECT_EQ(brightness->watch(), nullptr);
    EXPECT_EQ(fake.live, 0);
    EXPECT_FALSE(comLeftInitialised());
}

// The system's own WMI: Wine's has no monitor class and no notices; nothing may be left behind
// or crash.
TEST(WmiMonitorBrightnessOnTheSystem, SetWithoutAMonitorIsNotAvailable) {
    platform::win32::WmiMonitorBrightness brightness;
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        EXPECT_FALSE(brightness.setLevel(50));
        EXPECT_FALSE(brightness.setLevel(50));  // past the process's security set-up
        // Its notification query fails: no notices, rather than a wait for ever.
        EXPECT_EQ(brightness.watch(), nullptr);
    }
    EXPECT_FALSE(comLeftInitialised());
}

}  // namespace
