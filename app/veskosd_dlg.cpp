#include "app/veskosd_dlg.h"

#include "app/message_box.h"
#include "app/paths.h"
#include "app/status.h"
#include "audio/volume.h"
#include "base/thread.h"
#include "brightness/levels.h"
#include "brightness/state_file.h"
#include "brightness/wmi_brightness.h"
#include "buttons/action_threads.h"
#include "buttons/configuration.h"
#include "input/acpi_channel.h"
#include "input/raw_input.h"

#include "input/hot_keys.h"
#include "osd/osd_window.h"

#include "platform/ports.h"
#include "platform/state_files.h"
#include "power/power_handling.h"
#include "power/power_startup.h"
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
    registerAcpiHandlers();
    registerBrightnessHandlers();
    registerRawInputHandler();
    registerPowerHandlers();
}

// The brightness key events and the no-change event exist before the threads that wait on them;
// both models have these threads.
static void startBrightnessThreads() {
    CreateBrightnessKeyEvents();
    CreateBrightnessNoChangeEvent();
    base::startThread("ThreadBD", ThreadBDFunction);
    base::startThread("ThreadBU", ThreadBUFunction);
    base::startThread("ThreadBRITC", ThreadFunctionBRITC);
    base::startThread("ThreadBN", ThreadBNFunction);
}

// Writes that a kill or a power loss cut short leave their new files behind; only those of the
// state files' own names go.
static void removeStaleStateTemporaries() {
    platform::removeStaleTemporaries(dataFolderPath(), [](std::string_view name) {
        return IsBrightnessFileName(name) || name == kButtonActionFileName ||
               name == kOriginalStateFileName;
    });
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

    RegisterRawInputDevices();

    setWindowText("VESKOSD");
    platform::ports().windowDirectory->publish("VESKOSD", this);

    VolumeCriticalSection.initialize(kCriticalSectionSpinCount);
    VESKOSDUARTSendCriticalSection.initialize(kCriticalSectionSpinCount);

    OpenAcpiChannel();
    ReadStartingVolume();
    PrepareOSDWindow();
    // The monitor's answer to its registration is handled once the loop runs.
    StartPowerNotices();
    m_hMonitorPowerNotify =
        RegisterPowerSettingNotification(platform::PowerSetting::MonitorPowerOn);
    m_hSchemeNotify = RegisterPowerSettingNotification(platform::PowerSetting::SchemePersonality);
    ReadActivePowerScheme();
    startBrightnessThreads();

    // Every state file lives in the program's data folder.
    szBrightnessFile = dataFolderPath();
    szButtonActionFile = szBrightnessFile;
    szOriginalStateFile = szBrightnessFile;
    szConfigurationFile = dataFolderPath();
    removeStaleStateTemporaries();

    if (bOSDModel) {
        InstallHooks();

        CreateVolumeButtonEvents();
        CreateOsdEvents();
        StartOsdFadeThread();
        StartButtonActionThreads();
        szConfigurationFile += "QZConfiguration.xml";
        CheckButtonConfiguration();
        ChooseBrightnessFileName();
        if (MajorVersion <= 5) RestoreBrightnessAtStart();

        // The graphics back end needs no start-up; the token only marks that it is in use.
        GdiplusToken = 1;
    } else {
        InstallHooks();

        szButtonActionFile += kButtonActionFileName;
        szOriginalStateFile += kOriginalStateFileName;
        RestoreBlockedHidState();
        OpenUARTDevice();
        CreateUARTEvents();
        StartUARTThreads();
        RegisterUARTDeviceNotification();
    }
    runHook(hooks.startupDone);
    return true;
}
