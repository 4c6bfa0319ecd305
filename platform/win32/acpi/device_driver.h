// The firmware control driver through its device name ("\\.\ZRBACPI") and DeviceIoControl.
#pragma once

#include "platform/acpi_driver.h"

namespace platform::win32 {

class DeviceIoDrivers : public AcpiDrivers {
public:
    std::shared_ptr<AcpiDevice> open(const std::string& name) override;
};

}  // namespace platform::win32
