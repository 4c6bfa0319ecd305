#pragma once

#include <string>

namespace platform::win32 {

// The base name of the running program's file ("veskosd.exe"): the caption of its message boxes.
std::string programBaseName();

}  // namespace platform::win32
