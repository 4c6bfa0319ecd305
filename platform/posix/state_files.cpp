#include "platform/state_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    std::size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + off, bytes.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

FileProbe probeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | kOpenFlags);
    if (fd >= 0) {
        ::close(fd);
        return FileProbe::Opens;
    }
    if (errno == ENOENT) return FileProbe::NotFound;
    if (errno == EACCES || errno == EPERM) return FileProbe::AccessDenied;
    return FileProbe::Failed;
}

StateRead readStateFile(const std::string& path, std::size_t expected, std::vector<uint8_t>& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | kOpenFlags);
    if (fd < 0) return StateRead::NotOpened;
    struct stat st {};
    StateRead result = StateRead::WrongSize;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result = StateRead::NotOpened;
    } else if (static_cast<uint64_t>(st.st_size) == expected) {
        out.resize(expected);
        std::size_t got = 0;
        while (got < expected) {
            const ssize_t n = ::read(fd, out.data() + got, expected - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (got == expected) {
            result = StateRead::Read;
        } else {
            out.clear();
        }
    }
    ::close(fd);
    return result;
}

bool writeStateFile(const std::string& path, std::span<const uint8_t> bytes, uint32_t mode) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    // The mode is given explicitly: the umask must not narrow who may read it back.
    const bool written =
        writeAll(fd, bytes) && ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && ::fdatasync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool removeStateFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

}  // namespace platform
