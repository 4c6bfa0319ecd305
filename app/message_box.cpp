#include "app/message_box.h"

#include "app/paths.h"
#include "platform/ports.h"

namespace {

std::vector<ShownMessageBox>& shown() {
    static std::vector<ShownMessageBox> list;
    return list;
}

}  // namespace

void MessageBox(const std::string& text, uint32_t type) {
    const std::string caption = applicationName();
    shown().push_back({text, caption, type});
    platform::ports().messageBox->show(text, caption, type);
}

const std::vector<ShownMessageBox>& shownMessageBoxes() {
    return shown();
}

void clearShownMessageBoxes() {
    shown().clear();
}
