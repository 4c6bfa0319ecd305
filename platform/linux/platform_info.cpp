#include "platform/linux/platform_info.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform::linux_adapter {

bool pulseServerAnswers() {
    // The server's native socket: $PULSE_SERVER (unix:PATH) or the per-user default.
    std::string path;
    if (const char* server = std::getenv("PULSE_SERVER")) {  // NOLINT(concurrency-mt-unsafe)
        std::string s = server;
        if (s.rfind("unix:", 0) == 0) path = s.substr(5);
    } else if (const char* rt = std::getenv("XDG_RUNTIME_DIR")) {  // NOLINT(concurrency-mt-unsafe)
        path = std::string(rt) + "/pulse/native";
    }
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof(addr.sun_path)) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    close(fd);
    return ok;
}

uint32_t LinuxPlatformInfo::majorVersion() {
    if (override_ != 0) return override_;
    return pulseServerAnswers() ? 6 : 5;
}

}  // namespace platform::linux_adapter
