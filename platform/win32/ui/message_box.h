// Message boxes on threads of their own: the box waits for its answer, the GUI thread never does.
#pragma once

#include "platform/message_box.h"

namespace platform::win32 {

class ThreadedMessageBox : public MessageBoxSink {
public:
    void show(const std::string& text, const std::string& caption, uint32_t type) override;
};

}  // namespace platform::win32
