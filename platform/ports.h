// The ports through which the core reaches the platform. One adapter set is installed at
// start-up (Linux or the simulated machine); tests install fakes.
#pragma once

#include <memory>

#include "platform/acpi_driver.h"
#include "platform/audio.h"
#include "platform/canvas.h"
#include "platform/event_log.h"

#include "platform/input.h"
#include "platform/instance_lock.h"
#include "platform/launcher.h"

#include "platform/message_box.h"
#include "platform/mixer.h"
#include "platform/monitor_brightness.h"
#include "platform/osd_surface.h"
#include "platform/platform_info.h"
#include "platform/power.h"
#include "platform/raw_input.h"
#include "platform/serial.h"
#include "platform/window_directory.h"
#include "platform/xml_reader.h"

namespace platform {

struct Ports {
    std::unique_ptr<PlatformInfo> info;
    std::unique_ptr<MessageBoxSink> messageBox;
    std::unique_ptr<InstanceLock> instanceLock;
    std::unique_ptr<WindowDirectory> windowDirectory;
    std::unique_ptr<AudioEndpoints> audioEndpoints;
    std::unique_ptr<Mixer> mixer;
    std::unique_ptr<Graphics> graphics;
    std::unique_ptr<OsdSurface> osdSurface;
    std::unique_ptr<SerialPorts> serialPorts;
    std::unique_ptr<DeviceNotices> deviceNotices;
    std::unique_ptr<InputDevices> input;
    std::unique_ptr<XmlReaders> xmlReaders;
    std::unique_ptr<EventLog> eventLog;
    std::unique_ptr<AcpiDrivers> acpiDrivers;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<MonitorBrightness> monitorBrightness;
    std::unique_ptr<RawInput> rawInput;
    std::unique_ptr<Power> power;
};

// The installed ports; every member is non-null after installPorts.
Ports& ports();
// Missing members are filled with do-nothing defaults that fail the way the core handles.
void installPorts(Ports p);

}  // namespace platform
