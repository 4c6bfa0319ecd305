#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/message_box.h"

struct ShownMessageBox {
    std::string text;
    std::string caption;
    uint32_t type = 0;
};

// Shows a message box owned by the main window, captioned with the application's name, and
// records it for the status report. GUI thread only.
void MessageBox(const std::string& text, uint32_t type);
const std::vector<ShownMessageBox>& shownMessageBoxes();
void clearShownMessageBoxes();
