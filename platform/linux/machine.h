#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/acpi/acpi_drivers.h"
#include "platform/linux/module/backend_api.h"
#include "platform/ports.h"

namespace platform::linux_adapter {

struct Options {
    std::string runtimeDir;
    uint32_t osVersion = 0;  // 0: the endpoint path
    std::string serialPath = "/dev/ttyS0";
    AcpiOptions acpi;
    std::string dataDir;  // where the power adapter keeps the button actions it wrote
    std::string display;  // the X display whose screen saver tells monitor power; empty: none
};

// Which adapter serves each port and which modules could not be had, for the one line the daemon
// logs at start.
class AdapterChoices {
public:
    void choose(std::string port, std::string adapter);
    void unavailable(const std::string& family, const std::string& why);
    std::string line() const;

private:
    std::vector<std::pair<std::string, std::string>> chosen_;
    std::vector<std::string> unavailable_;
};

// The real adapters, each reached through its backend module where its library is heavy; a port
// whose module is missing keeps the do-nothing default, as when its device is absent.
Ports makePorts(const Options& options, AdapterChoices& choices);

struct DisplayOptions {
    std::string server;  // --display-server: wayland, x11, none; empty: from the session
    std::string osdOutput = "focused";  // Wayland: focused, all, or an output's name
    bool open = false;                  // connect to the X display named by DISPLAY
    bool osd = true;                    // the OSD window on it; else the headless OSD
    bool realMachine = false;           // the keyboard, mouse and dim time-out from it too
    bool notifications = false;         // the OSD as desktop notifications rather than headless
    uint32_t osVersion = 0;
};

// The adapters on the display server chosen (chooseDisplayServer): a Wayland compositor with
// layer-shell, else the X display when wanted and one can be opened; desktop notifications when
// asked for or on a compositor without layer-shell; the headless OSD otherwise.
void addDisplay(Ports& p, const DisplayOptions& options, AdapterChoices& choices);

// The adapters both machines share, their modules opened on first use: graphics and the XML
// reader.
void addGraphicsAndXml(Ports& p, AdapterChoices& choices);

// The service manager's notifications; they load nothing and do nothing when the process was
// not started by a service manager.
void serviceReady();
void serviceStopping();
void serviceWatchdog();
uint32_t serviceWatchdogIntervalMs();

}  // namespace platform::linux_adapter
