// Starting programs and opening documents with GLib and GIO.
#pragma once

#include <memory>

#include "platform/launcher.h"

namespace platform::linux_adapter {

// A program file found on PATH (or taken as given when it has a slash) is spawned with the
// parameters split by shell quoting rules, in a session of its own, reaped by GLib's double fork;
// a file that exists but is not executable, or an address, goes to GIO's default handler.
std::unique_ptr<Launcher> makeLauncher();

}  // namespace platform::linux_adapter
