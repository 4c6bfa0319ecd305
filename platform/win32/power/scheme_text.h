// A power scheme's GUID as the text the core keeps, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}",
// and back.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace platform::win32 {

std::string schemeText(const GUID& scheme);
// Empty for anything but that exact form.
std::optional<GUID> parseScheme(const std::string& text);

}  // namespace platform::win32
