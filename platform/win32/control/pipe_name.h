// The control channel's named pipe: one per user, opened only to that user's own SID.
#pragma once

#include <optional>
#include <string>

namespace platform::win32 {

// The calling process's user SID as text ("S-1-5-21-..."), or null.
std::optional<std::string> currentUserSid();
// "\\.\pipe\VESKOSD control <SID>".
std::string controlPipeName(const std::string& sid);

}  // namespace platform::win32
