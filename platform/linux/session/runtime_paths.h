// Where the daemon keeps its socket, lock and data files on Linux.
#pragma once

#include <optional>
#include <string>

namespace platform::linux_adapter {

// --runtime-dir, else $XDG_RUNTIME_DIR/veskosd, else /tmp/veskosd-UID, without trailing
// slashes. With `create`, the directory is made (mode 0700) and checked to be a real directory
// (not a link) owned by us and closed to others; nullopt with `error` set otherwise.
std::optional<std::string> resolveRuntimeDir(const std::string& option, bool create,
                                             std::string& error);

// --data-dir, else $VESKOSD_DATA_DIR, else /var/lib/veskosd when we may write there, else
// $XDG_STATE_HOME/veskosd (~/.local/state/veskosd), without trailing slashes. Made when
// missing, and checked like the runtime directory except that others may read it.
std::optional<std::string> resolveDataDir(const std::string& option, std::string& error);

}  // namespace platform::linux_adapter
