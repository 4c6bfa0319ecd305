// Opens the backend modules: veskosd-<family>.so from $VESKOSD_BACKEND_DIR when that is set,
// else from backends/ beside the executable (the build tree), else from the installed directory.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/module/backend_api.h"

namespace platform::linux_adapter {

// The directories searched, in order.
std::vector<std::string> backendDirectories();

// The module file of `family` that loadBackendTable would open; empty when there is none.
std::string findBackend(const std::string& family);

// The table of `family`'s module, or null with the reason in `why`. A module is opened once;
// later calls give the same answer.
const void* loadBackendTable(const std::string& family, std::string& why);

template <class Table>
const Table* loadBackend(const std::string& family, std::string& why) {
    return static_cast<const Table*>(loadBackendTable(family, why));
}

}  // namespace platform::linux_adapter
