// The small fixed-layout state files in the data directory: never followed through a link,
// never waited on (a FIFO in a file's place is refused), written whole or not at all.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class FileProbe {
    Opens,
    NotFound,
    AccessDenied,  // there, but not ours to open
    Failed,
};
// Whether the file opens for reading and writing, as the state files are opened.
FileProbe probeFile(const std::string& path);

enum class StateRead {
    NotOpened,  // absent, not ours, a link, or not a regular file
    WrongSize,  // opened, but not of the expected size: its contents mean nothing
    Read,
};
// Reads a file that must be exactly `expected` bytes long.
StateRead readStateFile(const std::string& path, std::size_t expected, std::vector<uint8_t>& out);

// Replaces the file with `bytes` and the given mode, through a new file renamed over it, so a
// failed write, or a power loss, leaves the old contents or no file, never a short one. False when
// not written.
bool writeStateFile(const std::string& path, std::span<const uint8_t> bytes, uint32_t mode);

// Removes the file (not what a link at its place points to); false when nothing was removed.
bool removeStateFile(const std::string& path);

// Removes the new files that writes interrupted for good (a kill, a power loss) left in
// `directory`: regular files named <name>.XXXXXX for a name `ours` accepts. Links, directories
// and every other name are left alone. The number removed.
std::size_t removeStaleTemporaries(const std::string& directory,
                                   const std::function<bool(std::string_view)>& ours);

}  // namespace platform
