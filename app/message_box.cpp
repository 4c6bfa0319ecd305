#include "app/message_box.h"

#include "app/paths.h"
#include "base/recent_entries.h"
#include "platform/ports.h"

namespace {

// A device that comes and goes for ever would otherwise fill memory with the same boxes.
base::RecentEntries<ShownMessageBox>& shown() {
    static base::RecentEntries<ShownMessageBox> list;
    return list;
}

}  // namespace

void MessageBox(const std::string& text, uint32_t type) {
    const std::string caption = applicationName();
    shown().push({text, caption, type});
    platform::ports().messageBox->show(text, caption, type);
}

const std::deque<ShownMessageBox>& shownMessageBoxes() {
    return shown().entries();
}

uint64_t droppedMessageBoxes() {
    return shown().dropped();
}

void clearShownMessageBoxes() {
    shown().clear();
}
