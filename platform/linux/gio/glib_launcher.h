// Starting programs and opening documents with GLib and GIO.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace platform::linux_adapter {

// A program file found on PATH (or taken as given when it has a slash) is spawned with the
// parameters split by shell quoting rules, in a session of its own, reaped by GLib's double fork;
// a file that exists but is not executable, or an address, goes to GIO's default handler. Under
// a systemd user manager the manager starts either, as a service of its own, when it takes it.
std::unique_ptr<Launcher> makeLauncher();

// The program file without its surrounding double quotes.
std::string unquotedProgramFile(const std::string& file);
// The parameters split into arguments by shell quoting rules, nothing expanded; empty, with the
// reason in `why`, when they cannot be split (an unclosed quote).
std::optional<std::vector<std::string>> splitParameters(const std::string& parameters,
                                                        std::string& why);

}  // namespace platform::linux_adapter
