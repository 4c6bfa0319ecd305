#include "platform/win32/acpi/device_driver.h"

#include <windows.h>

#include <cstdio>

#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

class DeviceIoDevice : public AcpiDevice {
public:
    explicit DeviceIoDevice(HANDLE h) : h_(h) {}
    ~DeviceIoDevice() override { CloseHandle(h_); }
    DeviceIoDevice(const DeviceIoDevice&) = delete;
    DeviceIoDevice& operator=(const DeviceIoDevice&) = delete;

    bool control(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                 uint32_t& returned) override {
        DWORD n = 0;
        // The driver only reads the input buffer, whatever the prototype says.
        if (!DeviceIoControl(h_, code, const_cast<uint8_t*>(in.data()),
                             static_cast<DWORD>(in.size()), out.data(),
                             static_cast<DWORD>(out.size()), &n, nullptr)) {
            return false;
        }
        returned = n;
        return true;
    }

    // The driver learns of the event from the registration call's handle value and sets it
    // itself.
    void setNotifyEvent(base::Event* /*event*/) override {}

private:
    HANDLE h_;
};

}  // namespace

std::shared_ptr<AcpiDevice> DeviceIoDrivers::open(const std::string& name) {
    HANDLE h = CreateFileW(widen(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "veskosd: %s: error %lu\n", name.c_str(), GetLastError());
        return nullptr;
    }
    return std::make_shared<DeviceIoDevice>(h);
}

}  // namespace platform::win32
