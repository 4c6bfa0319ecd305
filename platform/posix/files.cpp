#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

FileRead readRegularFile(const std::string& path, std::size_t maxSize, std::vector<uint8_t>& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return FileRead::Missing;
    struct stat st {};
    FileRead result = FileRead::Read;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result = FileRead::NotRegular;
    } else if (static_cast<uint64_t>(st.st_size) > maxSize) {
        result = FileRead::TooLarge;
    } else {
        // At most what passed the check, should the file grow meanwhile.
        out.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < out.size()) {
            const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result = FileRead::Failed;
                break;
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        out.resize(got);
    }
    ::close(fd);
    if (result != FileRead::Read) out.clear();
    return result;
}

}  // namespace platform
