#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/options.h"

namespace {

int run(int argc, char** argv) {
    CliOptions options;
    options.programPath = argc > 0 ? argv[0] : "veskosd";

    CLI::App app{"veskosd: media-button and on-screen-display controller"};
    app.set_version_flag("--version", std::string(VESKOSD_VERSION));
    app.add_option("--machine", options.machine, "linux or sim (simulated all-in-one)")
        ->check(CLI::IsMember({"linux", "sim"}));
    app.add_option("--sim-model", options.simModel,
                   "model number the simulated firmware reports (1 and 3: OSD, 2: controller)");
    app.add_option("--sim-levels", options.simLevels,
                   "the simulated firmware's brightness levels, e.g. 0,10,...,100, or one raw "
                   "level-list data length");
    app.add_flag("--sim-no-firmware", options.simNoFirmware,
                 "the simulated machine has no firmware control driver");
    app.add_option("--sim-dim-timeout", options.simDimTimeout,
                   "seconds without input after which the simulated desktop dims the display");
    app.add_option("--runtime-dir", options.runtimeDir,
                   "socket and lock directory (default $XDG_RUNTIME_DIR/veskosd)");
    app.add_option("--data-dir", options.dataDir, "configuration and state files");
    app.add_option("--os-version", options.osVersion, "force the interface generation (5 or 6)")
        ->check(CLI::IsMember({5u, 6u}));
    app.add_option("--serial", options.serial,
                   "the display controller's serial line (default /dev/ttyS0; on the simulated "
                   "machine its own controller)");
    app.add_option("--osd", options.osd,
                   "x11, notification (desktop notifications) or headless (default: x11 when "
                   "DISPLAY is set)")
        ->check(CLI::IsMember({"x11", "notification", "headless"}));
    app.add_flag("--portal-shortcuts", options.portalShortcuts,
                 "bind the volume keys through the desktop portal's global shortcuts");
    app.add_option("--display-server", options.displayServer,
                   "wayland, x11 or none (default: Wayland where the compositor has layer-shell, "
                   "else X11 where DISPLAY is set)")
        ->check(CLI::IsMember({"wayland", "x11", "none"}));
    app.add_option("--osd-output", options.osdOutput,
                   "Wayland: the output the OSD shows on: focused (default), all, or a name");
    app.add_option("--acpi-device", options.acpiDevice,
                   "a firmware control driver's character device (see docs/firmware.md)");
    app.add_option("--acpi-method-path", options.acpiMethodPath,
                   "the firmware methods' ACPI path for acpi_call, e.g. \\_SB.PCI0.LPCB.EC0.");
    app.add_option("--acpi-buttons", options.acpiButtons,
                   "the firmware volume buttons' input device (/dev/input/eventN)");
    app.add_option("--model", options.model,
                   "the model (1: OSD, 2: display controller) when the firmware cannot be asked; "
                   "the firmware's answer wins")
        ->check(CLI::IsMember({1u, 2u}));
    app.add_flag("--verbose", options.verbose, "one line per dispatched message on stderr");

    std::vector<std::string> postArgs;
    auto* post = app.add_subcommand("post", "post a message to the running instance");
    post->add_option("message wParam lParam", postArgs, "numbers, decimal or 0x hex")
        ->expected(3)
        ->required();
    std::string keyName;
    auto* key = app.add_subcommand(
        "key", "press a key of the running instance, as a desktop's shortcut binding does");
    key->add_option("name", keyName,
                    "volume-up, volume-down, mute, brightness-up, brightness-down or panel")
        ->required();
    auto* status = app.add_subcommand("status", "print the running instance's state as JSON");
    std::vector<std::string> simArgs;
    auto* sim = app.add_subcommand("sim", "drive the simulated machine of the running instance");
    sim->add_option("args", simArgs, "device, verb and arguments")->required();
    std::string screenshotFile;
    auto* screenshot = app.add_subcommand(
        "screenshot", "write the running instance's OSD, with its alpha, as PNG");
    screenshot->add_option("file", screenshotFile, "the PNG file to write")->required();
    app.require_subcommand(0, 1);

    CLI11_PARSE(app, argc, argv);

    if (post->parsed()) return runPost(options, postArgs);
    if (key->parsed()) return runKey(options, keyName);
    if (status->parsed()) return runStatus(options);
    if (sim->parsed()) return runSim(options, simArgs);
    if (screenshot->parsed()) return runScreenshot(options, screenshotFile);
    return runDaemon(options);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veskosd: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "veskosd: unexpected failure\n");
    }
    return 1;
}
