#include "app/veskosd_dlg.h"

#include "app/message_box.h"
#include "app/paths.h"
#include "app/status.h"
#include "audio/volume.h"
#include "buttons/configuration.h"

#include "input/hot_keys.h"
#include "osd/osd_window.h"

#include "platform/ports.h"
#include "serial/controller_handlers.h"
#include "serial/uart.h"

StartupHooks& startupHooks() {
    static StartupHooks hooks;
    return hooks;
}

CVESKOSDDlg::CVESKOSDDlg() : m_hIcon(static_cast<base::Icon>(IDR_MAINFRAME)) {}

CVESKOSDDlg::~CVESKOSDDlg() {
    tearDown();
}

void CVESKOSDDlg::tearDown() {
    // Tear-down order: graphics shut-down (even when never started), font, progress wrapper.
    GdiplusToken = 0;
    m_Font.DeleteObject();
    m_Progress = {};
}

void CVESKOSDDlg::DoDataExchange() {
    m_Progress.controlId = IDC_PROGRESS;
}

void CVESKOSDDlg::OnPaint() {
    if (paintBody) paintBody();
}

void CVESKOSDDlg::MyHotKey(uint32_t nHotKeyId, uint32_t nKey1, uint32_t nKey2) {
    if (hotKeyBody) hotKeyBody(nHotKeyId, nKey1, nKey2);
}

namespace {

void runHook(const std::function<void()>& hook) {
    if (hook) hook();
}

}  // namespace

// The handler tables are the program's message map: filled before anything can be posted.
static void registerHandlers() {
    registerOsdHandlers();
    registerControllerHandlers();
    registerHotKeyHandler();
    registerButtonStatus();
    registerStatusSection("messageBoxesDropped", [] { return droppedMessageBoxes(); });
}

bool CVESKOSDDlg::OnInitDialog() {
    registerHandlers();
    DoDataExchange();
    WindowProc(WM_SETICON, ICON_BIG, static_cast<base::LPARAM>(m_hIcon));
    WindowProc(WM_SETICON, ICON_SMALL, static_cast<base::LPARAM>(m_hIcon));
    hMainWnd = this;
    MajorVersion = platform::ports().info->majorVersion();

    StartupHooks& hooks = startupHooks();
    RegisterVolumeHotKeys();

    runHook(hooks.registerRawInput);

    setWindowText("VESKOSD");
    platform::ports().windowDirectory->publish("VESKOSD", this);

    VolumeCriticalSection.initialize(kCriticalSectionSpinCount);
    VESKOSDUARTSendCriticalSection.initialize(kCriticalSectionSpinCount);

    runHook(hooks.openAcpiChannel);
    ReadStartingVolume();
    PrepareOSDWindow();
    runHook(hooks.powerNotices);
    runHook(hooks.commonThreads);

    // Step 16: every state file lives in the program's data folder.
    szBrightnessFile = dataFolderPath();
    szButtonActionFile = szBrightnessFile;
    szOriginalStateFile = szBrightnessFile;
    szConfigurationFile = dataFolderPath();

    if (bOSDModel) {
        InstallHooks();

        runHook(hooks.volumeButtonEvents);
        CreateOsdEvents();
        StartOsdFadeThread();
        runHook(hooks.buttonThreads);
        szConfigurationFile += "QZConfiguration.xml";
        CheckButtonConfiguration();
        runHook(hooks.brightnessFiles);

        // The graphics back end needs no start-up; the token only marks that it is in use.
        GdiplusToken = 1;
    } else {
        InstallHooks();

        runHook(hooks.recoveryFiles);
        OpenUARTDevice();
        CreateUARTEvents();
        StartUARTThreads();
        RegisterUARTDeviceNotification();
    }
    runHook(hooks.startupDone);
    return true;
}
