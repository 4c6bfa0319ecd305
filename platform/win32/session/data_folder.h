// The all-users application-data folder's own subfolder for the state files.
#pragma once

#include <optional>
#include <string>

namespace platform::win32 {

// `chosen` when given, else "<all users' application data>\VESKOSD"; made when missing. Null,
// with `error` set, when it cannot be made.
std::optional<std::string> resolveDataFolder(const std::string& chosen, std::string& error);

}  // namespace platform::win32
