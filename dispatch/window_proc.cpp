#include "app/veskosd_dlg.h"
#include "dispatch/device_events.h"
#include "dispatch/dispatcher.h"

base::LRESULT CVESKOSDDlg::WindowProc(uint32_t message, base::WPARAM wParam, base::LPARAM lParam) {
    dispatch::handleMessage(message, wParam, lParam);
    // Always passed on unchanged; nothing here answers or swallows a message.
    return baseWindowProc(message, wParam, lParam);
}

bool postDeviceEvent(base::LPARAM code) {
    return base::postMessage(hMainWnd.load(), WM_DEVICE_EVENT, DEVICE_EVENT_WPARAM, code);
}
