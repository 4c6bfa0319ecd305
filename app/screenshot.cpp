#include "app/screenshot.h"

#include <stdexcept>

#include "control/base64.h"
#include "osd/osd_window.h"

nlohmann::json writeScreenshot(const nlohmann::json&) {
    const std::vector<uint8_t> png = osdScreenshotPng();
    if (png.empty()) throw std::invalid_argument("the OSD has no picture yet");
    return {{"png", control::encodeBase64(png)}};
}
