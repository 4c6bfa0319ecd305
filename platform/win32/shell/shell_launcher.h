// Programs, documents and addresses started through the shell (ShellExecuteW), as the desktop
// starts them: the program parses its own parameter text.
#pragma once

#include "platform/launcher.h"

namespace platform::win32 {

class ShellLauncher : public Launcher {
public:
    bool launch(const std::string& file, const std::string& parameters) override;
};

}  // namespace platform::win32
