#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/acpi_drivers.h"
#include "platform/ports.h"

namespace platform::linux_adapter {

struct Options {
    std::string runtimeDir;
    uint32_t osVersion = 0;  // 0: the endpoint path
    std::string serialPath = "/dev/ttyS0";
    AcpiOptions acpi;
    std::string dataDir;  // where the power adapter keeps the button actions it wrote
    std::string display;  // the X display whose screen saver tells monitor power; empty: none
};

// The real adapters, each failing the way the core already handles where its device is absent.
Ports makePorts(const Options& options);

}  // namespace platform::linux_adapter
