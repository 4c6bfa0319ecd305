#include "platform/state_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/temporary_names.h"

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

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename is only lasting once the directory itself is on the disk.
void syncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
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
    // The whole file, mode included, is on the disk before it takes the old one's place.
    const bool written =
        writeAll(fd, bytes) && ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    syncDirectory(directoryOf(path));
    return true;
}

bool removeStateFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::size_t removeStaleTemporaries(const std::string& directory,
                                   const std::function<bool(std::string_view)>& ours) {
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    std::size_t removed = 0;
    // This stream is this call's alone.
    while (const dirent* e = ::readdir(dir)) {  // NOLINT(concurrency-mt-unsafe)
        if (!isTemporaryOf(e->d_name, ours)) continue;
        struct stat st {};
        // Only regular files: a link is never followed nor taken for one of ours.
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        if (::unlinkat(dirFd, e->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

}  // namespace platform
