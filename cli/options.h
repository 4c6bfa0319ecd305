#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CliOptions {
    std::string programPath;
    std::string machine = "linux";
    int simModel = 1;       // any number: what the simulated firmware's model query answers
    std::string simLevels;  // the simulated level list, or one raw data length
    bool simNoFirmware = false;
    uint32_t simDimTimeout = 0;
    std::string runtimeDir;
    std::string dataDir;
    uint32_t osVersion = 0;      // 0: 6, the endpoint path
    std::string serial;          // the line standing for COM1
    std::string acpiDevice;      // a firmware driver's character device
    std::string acpiMethodPath;  // the firmware methods' path for acpi_call
    std::string acpiButtons;     // the firmware buttons' evdev device
    uint32_t model = 0;          // the model when the firmware cannot be asked; 0: none
    std::string osd;             // x11, notification or headless; empty: x11 when DISPLAY is set
    // Bind the volume keys through the desktop portal's global shortcuts.
    bool portalShortcuts = false;
    std::string displayServer;          // wayland, x11 or none; empty: from the session
    std::string osdOutput = "focused";  // Wayland: focused, all, or an output's name
    bool verbose = false;
};

// The daemon in the foreground; returns the process's exit status.
int runDaemon(const CliOptions& options);

// Client commands against the running instance; exit status 0 when it answered ok.
int runPost(const CliOptions& options, const std::vector<std::string>& args);
int runStatus(const CliOptions& options);
// Posts the hot key a desktop binding names (volume-up, mute, panel, ...).
int runKey(const CliOptions& options, const std::string& name);
int runSim(const CliOptions& options, const std::vector<std::string>& args);
int runScreenshot(const CliOptions& options, const std::string& file);
