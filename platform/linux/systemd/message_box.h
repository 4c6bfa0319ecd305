#pragma once

#include "platform/message_box.h"

namespace platform::linux_adapter {

// stderr and the journal under the program's name, and a desktop notification where a
// notification server runs on the session bus.
class LinuxMessageBox final : public MessageBoxSink {
public:
    void show(const std::string& text, const std::string& caption, uint32_t type) override;
};

}  // namespace platform::linux_adapter
