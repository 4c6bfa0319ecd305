// Launches handed to the user's systemd manager. Under the packaged user unit veskosd runs in a
// sandbox (seccomp filters, a read-only mount namespace, a user namespace) that every child it
// forks inherits for good; moving such a child into a scope of its own changes its cgroup and
// nothing else. So the manager starts the program itself, as a transient service, the way
// desktops start applications: outside the sandbox, with the user's ordinary rights, the
// session's environment and a cgroup of its own.
#pragma once

#include <string>
#include <vector>

namespace platform::linux_adapter {

// Whether veskosd is a service of a systemd user manager: only a user manager sets $MANAGERPID
// (the system manager does not), and only a service needs the manager to leave its sandbox.
bool runsUnderUserManager();

// "app-veskosd-<the program's file name, escaped>@<random>.service", as systemd's conventions for
// desktop applications name a launch whose application has no desktop file.
std::string appUnitName(const std::string& program);

// Asks the user manager on the user bus for a transient service running `command` (the program's
// path first, then its arguments), within `timeoutMs`; false, with the reason in `why`, when the
// manager cannot be reached, refuses or does not answer in time.
bool startAppUnit(const std::vector<std::string>& command, int timeoutMs, std::string& why);

// Whether the user manager took the launch. When it did not (veskosd is not its service, or the
// request failed) the caller starts the program itself; the reason is said once on stderr, and
// again only when it changes.
bool startedByUserManager(const std::vector<std::string>& command);

}  // namespace platform::linux_adapter
