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
#include "platform/win32/control/pipe_server.h"
#include "platform/win32/dialog/main_dialog.h"
#include "platform/win32/eventlog/event_log.h"
#include "platform/win32/graphics/gdiplus_graphics.h"
#include "platform/win32/graphics/module_images.h"
#include "platform/win32/info/platform_info.h"
#include "platform/win32/osd/layered_osd.h"
#include "platform/win32/program/options.h"
#include "platform/win32/session/data_folder.h"
#include "platform/win32/session/instance_mutex.h"
#include "platform/win32/session/program_name.h"
#include "platform/win32/shell/shell_launcher.h"
#include "platform/win32/ui/message_box.h"

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
    ports.windowDirectory = std::make_unique<win32::MainDialog>();
    ports.acpiDrivers = std::make_unique<win32::DeviceIoDrivers>();
    ports.launcher = std::make_unique<win32::ShellLauncher>();
    ports.eventLog = std::make_unique<win32::WindowsEventLog>();
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
