// Reading the small files in the data directory without letting whoever made them block us: a
// FIFO, a device or a directory in a file's place is refused, never waited on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class FileRead {
    Read,        // `out` holds the contents (at most what the size check passed)
    Missing,     // it could not be opened (absent, or not ours to read)
    NotRegular,  // not a regular file: its size means nothing
    TooLarge,    // a regular file larger than the limit
    Failed,      // a read error part way
};

// Opens `path` without blocking (a FIFO without a writer would block a plain open), checks on
// the opened file that it is a regular file of at most `maxSize` bytes, and reads it.
FileRead readRegularFile(const std::string& path, std::size_t maxSize, std::vector<uint8_t>& out);

}  // namespace platform
