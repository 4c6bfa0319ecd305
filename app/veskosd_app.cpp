#include "app/veskosd_app.h"

#include <string>
#include <vector>

#include "app/veskosd_dlg.h"
#include "platform/ports.h"

namespace {

// Worker threads are never joined and reach the dialog through hMainWnd until the process
// ends, so it is never freed; the list keeps it reachable.
CVESKOSDDlg* lifelongDialog() {
    static auto* dialogs = new std::vector<CVESKOSDDlg*>;
    return dialogs->emplace_back(new CVESKOSDDlg);
}

}  // namespace

bool CVESKOSDApp::InitInstance() {
    const std::string name = kInstanceMutexName;
    // A second instance ends here, before it creates any window.
    if (!platform::ports().instanceLock->acquire(name)) return false;
    CVESKOSDDlg* dlg = lifelongDialog();
    dlg->DoModal();
    // What the destructor would release; the object itself stays for the threads.
    dlg->tearDown();
    return false;
}
