// The device notices as the system sends them to the notice window.
#include "platform/win32/serial/device_notices.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <dbt.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct Seen {
    uint32_t event;
    uint32_t type;
    std::string name;
    bool operator==(const Seen&) const = default;
};

TEST(DeviceChangeNotices, PortsAndHandlesAreToldOtherDevicesAreNot) {
    platform::win32::DeviceChangeNotices notices;
    EXPECT_FALSE(notices.registerHandle(0x40));  // not started
    std::mutex m;
    std::vector<Seen> seen;
    notices.start([&](const platform::DeviceNotice& n) {
        std::lock_guard lock(m);
        seen.push_back({n.event, n.deviceType, n.name});
    });
    auto* hwnd = static_cast<HWND>(notices.window());
    ASSERT_NE(hwnd, nullptr);

    // A port record as the system builds it, and one whose name fills it with no terminator.
    alignas(DEV_BROADCAST_PORT_W) unsigned char record[sizeof(DEV_BROADCAST_PORT_W) + 16]{};
    auto* port = reinterpret_cast<DEV_BROADCAST_PORT_W*>(record);
    port->dbcp_size = offsetof(DEV_BROADCAST_PORT_W, dbcp_name) + 5 * sizeof(wchar_t);
    port->dbcp_devicetype = DBT_DEVTYP_PORT;
    std::memcpy(port->dbcp_name, L"COM1", 5 * sizeof(wchar_t));
    SendMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(port));
    port->dbcp_size = offsetof(DEV_BROADCAST_PORT_W, dbcp_name) + 3 * sizeof(wchar_t);
    SendMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(port));

    DEV_BROADCAST_HANDLE handle{};
    handle.dbch_size = sizeof(handle);
    handle.dbch_devicetype = DBT_DEVTYP_HANDLE;
    SendMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, reinterpret_cast<LPARAM>(&handle));
    DEV_BROADCAST_HDR volume{sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME, 0};
    SendMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume));
    SendMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);

    std::lock_guard lock(m);
    EXPECT_EQ(seen, (std::vector<Seen>{{DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT, "COM1"},
                                       {DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, "COM"},
                                       {DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_HANDLE, ""}}));
    EXPECT_FALSE(notices.registerHandle(-1));
}

}  // namespace
