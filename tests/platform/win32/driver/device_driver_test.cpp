// The firmware driver's adapter against the system's own CreateFileW, on a plain file standing in
// for the device.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/acpi/device_driver.h"
#include "platform/win32/wide.h"

namespace {

TEST(DeviceIoDrivers, LeavesTheDeviceOpenToOthersWhileItHoldsIt) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "veskosd-acpi-device-test";
    const std::wstring wide = platform::win32::widen(path);
    HANDLE made = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    CloseHandle(made);

    platform::win32::DeviceIoDrivers drivers;
    {
        const auto device = drivers.open(path);
        ASSERT_NE(device, nullptr);
        // Whoever else talks to the driver, a tool or a second program, can still reach it.
        HANDLE other =
            CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(other, INVALID_HANDLE_VALUE) << "error " << GetLastError();
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    }
    DeleteFileW(wide.c_str());
    EXPECT_EQ(drivers.open(path), nullptr);
}

}  // namespace
