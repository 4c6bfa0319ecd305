#include "platform/linux/session/runtime_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace platform::linux_adapter {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read before any thread
    return v ? std::string(v) : std::string();
}

bool makeDirs(const std::string& path, mode_t mode, std::string& error) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) {
            error = "cannot create " + partial + ": " + std::generic_category().message(errno);
            return false;
        }
    }
    return true;
}

// "dir/" names what "dir" points to: the checks below must see the name itself.
std::string withoutTrailingSlashes(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// A shared /tmp lets others plant a directory or link first; refuse anything not ours or that
// others may change (`forbidden`: the mode bits they must not have).
bool checkOwnDirectory(const std::string& dir, mode_t forbidden, const char* must,
                       std::string& error) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
        error = "cannot inspect " + dir + ": " + std::generic_category().message(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        error = dir + " is not a directory owned by us";
        return false;
    }
    if ((st.st_mode & forbidden) != 0) {
        error = dir + " is open to other users (mode " + octal(st.st_mode) + "); " + must;
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> resolveRuntimeDir(const std::string& option, bool create,
                                             std::string& error) {
    std::string dir = option;
    if (dir.empty() && !env("XDG_RUNTIME_DIR").empty()) dir = env("XDG_RUNTIME_DIR") + "/veskosd";
    if (dir.empty()) dir = "/tmp/veskosd-" + std::to_string(getuid());
    dir = withoutTrailingSlashes(dir);
    if (!create) return dir;
    if (!makeDirs(dir, 0700, error)) return std::nullopt;
    if (!checkOwnDirectory(dir, 0077, "it must be 0700", error)) return std::nullopt;
    return dir;
}

std::optional<std::string> resolveDataDir(const std::string& option, std::string& error) {
    std::string dir = option;
    if (dir.empty()) dir = env("VESKOSD_DATA_DIR");
    if (dir.empty() && (access("/var/lib/veskosd", W_OK) == 0 ||
                        (geteuid() == 0 && access("/var/lib", W_OK) == 0))) {
        dir = "/var/lib/veskosd";
    }
    if (dir.empty()) {
        std::string state = env("XDG_STATE_HOME");
        if (state.empty()) state = env("HOME") + "/.local/state";
        dir = state + "/veskosd";
    }
    dir = withoutTrailingSlashes(dir);
    if (!makeDirs(dir, 0755, error)) return std::nullopt;
    if (!checkOwnDirectory(dir, 0022, "only its owner may write to it", error)) return std::nullopt;
    return dir;
}

}  // namespace platform::linux_adapter
