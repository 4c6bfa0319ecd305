// The `screenshot` control op.
#pragma once

#include <nlohmann/json.hpp>

// The OSD as it is seen (border, frame and alpha), as PNG in base64 under "png". The client
// writes the file: the daemon never opens a path that another process names.
nlohmann::json writeScreenshot(const nlohmann::json& request);
