#include "platform/linux/machine.h"

#include <memory>

#include "platform/linux/alsa_mixer.h"
#include "platform/linux/backlight.h"
#include "platform/linux/cairo_graphics.h"
#include "platform/linux/glib_launcher.h"
#include "platform/linux/hidraw_input.h"
#include "platform/linux/instance_lock.h"
#include "platform/linux/journal_event_log.h"
#include "platform/linux/libxml_reader.h"
#include "platform/linux/logind_power.h"

#include "platform/linux/message_box.h"
#include "platform/linux/path_watcher.h"
#include "platform/linux/platform_info.h"
#include "platform/linux/pulse_audio.h"
#include "platform/linux/termios_serial.h"
#include "platform/linux/x11_monitor_power.h"

namespace platform::linux_adapter {

Ports makePorts(const Options& options) {
    Ports p;
    p.info = std::make_unique<LinuxPlatformInfo>(options.osVersion);
    p.messageBox = std::make_unique<LinuxMessageBox>();
    p.instanceLock = std::make_unique<FlockInstanceLock>(options.runtimeDir);
    p.audioEndpoints = std::make_unique<PulseAudioEndpoints>();
    p.mixer = std::make_unique<AlsaMixer>();
    p.graphics = std::make_unique<CairoGraphics>();
    p.xmlReaders = std::make_unique<LibXmlReaders>();
    p.eventLog = std::make_unique<JournalEventLog>();
    p.serialPorts = std::make_unique<TermiosSerialPorts>(options.serialPath);

    p.deviceNotices = std::make_unique<PathWatcher>(options.serialPath, "COM1");
    p.acpiDrivers = makeAcpiDrivers(options.acpi);
    p.launcher = makeLauncher();
    p.monitorBrightness = makeSysfsBacklight({});
    p.rawInput = makeHidrawInput();
    p.power = std::make_unique<LogindPower>(
        options.dataDir.empty() ? options.runtimeDir : options.dataDir,
        options.display.empty() ? nullptr : std::make_unique<X11MonitorPower>(options.display));
    return p;
}

}  // namespace platform::linux_adapter
