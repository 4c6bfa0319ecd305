#include <windows.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "platform/win32/program/options.h"

namespace {

// A GUI program started from a console has no output of its own: it borrows its parent's, so
// that `status` prints where it was asked.
void useParentConsole() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    static_cast<void>(std::freopen("CONOUT$", "w", stdout));
    static_cast<void>(std::freopen("CONOUT$", "w", stderr));
}

int run(int argc, char** argv) {
    WinOptions options;
    CLI::App app{"veskosd: media-button and on-screen-display controller"};
    app.set_version_flag("--version", std::string(VESKOSD_VERSION));
    app.add_option("--data-dir", options.dataDir,
                   "state files (default: the all-users application data, VESKOSD)");
    app.add_option("--os-version", options.osVersion, "force the interface generation (5 or 6)")
        ->check(CLI::IsMember({5u, 6u}));
    app.add_flag("--verbose", options.verbose, "one line per dispatched message on stderr");

    std::vector<std::string> postArgs;
    auto* post = app.add_subcommand("post", "post a message to the window titled VESKOSD");
    post->add_option("message wParam lParam", postArgs, "numbers, decimal or 0x hex")
        ->expected(3)
        ->required();
    auto* status = app.add_subcommand("status", "print the running instance's state as JSON");
    app.require_subcommand(0, 1);

    CLI11_PARSE(app, argc, argv);
    if (post->parsed()) return runPost(postArgs);
    if (status->parsed()) return runStatus();
    return runDaemon(options);
}

}  // namespace

int main(int argc, char** argv) {
    useParentConsole();
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veskosd: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "veskosd: unexpected failure\n");
    }
    return 1;
}
