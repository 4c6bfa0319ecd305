#pragma once

#include <vector>

#include "app/veskosd_dlg.h"

namespace testsupport {

// A main window that lives as long as the process, as the program's does: worker threads may
// still post to it while a test ends. Kept in a list, so it is never lost.
inline CVESKOSDDlg* lifelongWindow() {
    static auto* windows = new std::vector<CVESKOSDDlg*>;
    return windows->emplace_back(new CVESKOSDDlg);
}

}  // namespace testsupport
