// The Linux firmware drivers: a vendor character device, else the acpi_call module with the
// firmware buttons, else none.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/acpi_driver.h"

namespace platform::linux_adapter {

struct AcpiOptions {
    std::string devicePath;                    // --acpi-device: character device, empty for none
    std::string methodPrefix;                  // --acpi-method-path, e.g. \_SB.PCI0.LPCB.EC0.
    std::string buttonsPath;                   // --acpi-buttons: evdev device, empty for none
    std::string callPath = "/proc/acpi/call";  // the acpi_call module's file
    uint32_t model = 0;                        // --model: taken when the firmware cannot be asked
};

std::unique_ptr<AcpiDrivers> makeAcpiDrivers(const AcpiOptions& options);

}  // namespace platform::linux_adapter
