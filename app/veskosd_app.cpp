#include "app/veskosd_app.h"

#include <string>

#include "app/veskosd_dlg.h"
#include "platform/ports.h"

bool CVESKOSDApp::InitInstance() {
    const std::string name = kInstanceMutexName;
    // A second instance ends here, silently and before it creates any window.
    if (!platform::ports().instanceLock->acquire(name)) return false;
    {
        CVESKOSDDlg dlg;
        dlg.DoModal();
    }
    return false;
}
