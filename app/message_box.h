#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "platform/message_box.h"

struct ShownMessageBox {
    std::string text;
    std::string caption;
    uint32_t type = 0;
};

// Shows a message box owned by the main window, captioned with the application's name, and
// records it for the status report. GUI thread only.
void MessageBox(const std::string& text, uint32_t type);
// The last 256 boxes shown, oldest first, and how many older ones were let go.
const std::deque<ShownMessageBox>& shownMessageBoxes();
uint64_t droppedMessageBoxes();
void clearShownMessageBoxes();
