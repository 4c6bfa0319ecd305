#pragma once

#include <cstdint>
#include <string>

#include "platform/ports.h"

namespace platform::linux_adapter {

struct Options {
    std::string runtimeDir;
    uint32_t osVersion = 0;  // 0: detect
    std::string serialPath = "/dev/ttyS0";
};

// The real adapters, each failing the way the core already handles where its device is absent.
Ports makePorts(const Options& options);

}  // namespace platform::linux_adapter
