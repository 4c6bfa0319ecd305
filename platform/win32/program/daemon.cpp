// The Windows program's composition root: the instance mutex first, then the data folder, the
// adapters, the control pipe, and the dialog.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/control_requests.h"
#include "app/globals.h"
#include "app/paths.h"
#include "app/veskosd_app.h"
#include "dispatch/dispatcher.h"
#include "platform/ports.h"
#include "platform/win32/acpi/device_driver.h"
#include "platform/win32/audio/core_audio_endpoints.h"
#include "platform/win32/brightness/wmi_brightness.h"
#include "platform/win32/control/pipe_server.h"
#include "platform/win32/dialog/main_dialog.h"
#include "platform/win32/eventlog/event_log.h"
#include "platform/win32/graphics/gdiplus_graphics.h"
#include "platform/win32/graphics/module_images.h"
#include "platform/win32/info/platform_info.h"
#include "platform/win32/input/windows_input.h"
#include "platform/win32/mixer/winmm_mixer.h"
#include "platform/win32/osd/layered_osd.h"
#include "platform/win32/power/windows_power.h"
#include "platform/win32/program/options.h"
#include "platform/win32/rawinput/windows_raw_input.h"
#include "platform/win32/serial/comm_port.h"
#include "platform/win32/serial/device_notices.h"
#include "platform/win32/session/data_folder.h"
#include "platform/win32/session/instance_mutex.h"
#include "platform/win32/session/program_name.h"
#include "platform/win32/shell/shell_launcher.h"
#include "platform/win32/ui/message_box.h"
#include "platform/win32/xml/xmllite_reader.h"

namespace win32 = platform::win32;

int runDaemon(const WinOptions& options) {
    // Before anything is touched: a second start leaves the first one's files and port alone.
    auto lock = std::make_unique<win32::InstanceMutex>();
    if (!lock->acquire(kInstanceMutexName)) {
        std::fprintf(stderr, "veskosd: another instance runs; this start ends\n");
        return 0;
    }
    std::string error;
    const auto dataFolder = win32::resolveDataFolder(options.dataDir, error);
    if (!dataFolder) {
        std::fprintf(stderr, "veskosd: data folder: %s\n", error.c_str());
        return 1;
    }

    platform::Ports ports;
    ports.info = std::make_unique<win32::WindowsPlatformInfo>(options.osVersion);
    ports.messageBox = std::make_unique<win32::ThreadedMessageBox>();
    ports.instanceLock = std::move(lock);
    auto dialog = std::make_unique<win32::MainDialog>();
    // The mixer's change notices go to the main window, which leaves them to the dialog manager.
    ports.mixer = std::make_unique<win32::WinmmMixer>([d = dialog.get()] { return d->handle(); });
    ports.windowDirectory = std::move(dialog);
    ports.audioEndpoints = std::make_unique<win32::CoreAudioEndpoints>();
    ports.acpiDrivers = std::make_unique<win32::DeviceIoDrivers>();
    ports.launcher = std::make_unique<win32::ShellLauncher>();
    ports.eventLog = std::make_unique<win32::WindowsEventLog>();
    ports.input = std::make_unique<win32::WindowsInputDevices>();
    ports.rawInput = std::make_unique<win32::WindowsRawInput>();
    ports.serialPorts = std::make_unique<win32::CommPorts>();
    ports.deviceNotices = std::make_unique<win32::DeviceChangeNotices>();
    ports.xmlReaders = std::make_unique<win32::XmlLiteReaders>();
    ports.power = std::make_unique<win32::WindowsPower>();
    ports.monitorBrightness = std::make_unique<win32::WmiMonitorBrightness>();
    win32::loadModuleImages();
    ports.graphics = std::make_unique<win32::GdiplusGraphics>();
    ports.osdSurface = std::make_unique<win32::LayeredOsd>();
    platform::installPorts(std::move(ports));

    if (!win32::startPipeServer(handleControlRequest, error)) {
        std::fprintf(stderr, "veskosd: control pipe: %s; status cannot be asked\n", error.c_str());
    }
    setApplicationName(win32::programBaseName());
    setDataFolder(*dataFolder);
    dispatch::setVerbose(options.verbose);

    CVESKOSDApp app;
    app.InitInstance();
    // Worker threads are never joined: nothing static may be destroyed under them.
    std::fflush(nullptr);
    std::_Exit(0);
}
