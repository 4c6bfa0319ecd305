#include "platform/linux/module/backend_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace platform::linux_adapter {

namespace {

struct Loaded {
    const void* table = nullptr;
    std::string why;
};

std::string executableDirectory() {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

Loaded open(const std::string& family) {
    // The first one found is the one meant: a broken module is not replaced by another build's.
    const std::string path = findBackend(family);
    if (path.empty()) return {nullptr, "veskosd-" + family + ".so not found"};
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();  // NOLINT(concurrency-mt-unsafe): under the lock
        return {nullptr, error ? error : path + ": cannot be loaded"};
    }
    // The identifier is checked before the entry point is called: another build's tables may not
    // even have the layout of ours.
    const std::string entry = "veskosd_backend_" + family;
    const auto* id = static_cast<const char*>(dlsym(handle, (entry + "_build_id").c_str()));
    std::string why;
    if (!id) {
        why = path + ": not a backend module of this build (no build identifier)";
    } else if (std::strcmp(id, kBackendBuildId) != 0) {
        why = path + ": built by another build (" + std::string(id, strnlen(id, 64)) + ", not " +
              kBackendBuildId + "); not loaded";
    }
    auto* get =
        why.empty() ? reinterpret_cast<const void* (*)()>(dlsym(handle, entry.c_str())) : nullptr;
    const void* table = get ? get() : nullptr;
    if (!table) {
        dlclose(handle);
        return {nullptr, why.empty() ? path + ": has no entry point " + entry : why};
    }
    return {table, {}};  // never closed: its adapters live as long as the process
}

}  // namespace

std::vector<std::string> backendDirectories() {
    const char* override = std::getenv("VESKOSD_BACKEND_DIR");  // NOLINT(concurrency-mt-unsafe)
    if (override && *override) return {override};
    std::vector<std::string> dirs;
    const std::string beside = executableDirectory();
    if (!beside.empty()) {
        dirs.push_back(beside + "/backends");
        // Installed: found from the binary, so that another prefix or a staged install works.
        dirs.push_back(beside + "/../" VESKOSD_BACKEND_RELATIVE_DIR);
    }
    dirs.emplace_back(VESKOSD_BACKEND_INSTALL_DIR);
    return dirs;
}

std::string findBackend(const std::string& family) {
    for (const std::string& dir : backendDirectories()) {
        std::string path = dir;
        path.append("/veskosd-").append(family).append(".so");
        if (access(path.c_str(), F_OK) == 0) return path;
    }
    return {};
}

const void* loadBackendTable(const std::string& family, std::string& why) {
    static std::mutex m;
    static std::map<std::string, Loaded> loaded;
    std::lock_guard lock(m);
    auto it = loaded.find(family);
    if (it == loaded.end()) it = loaded.emplace(family, open(family)).first;
    why = it->second.why;
    return it->second.table;
}

}  // namespace platform::linux_adapter
