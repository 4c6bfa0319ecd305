#include "app/paths.h"

namespace {

std::string& dataFolder() {
    static std::string folder;
    return folder;
}

std::string& appName() {
    static std::string name = "veskosd";
    return name;
}

}  // namespace

std::string dataFolderPath() {
    std::string folder = dataFolder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

void setDataFolder(const std::string& folder) {
    dataFolder() = folder;
}

std::string applicationName() {
    return appName();
}

void setApplicationName(const std::string& programPath) {
    const auto slash = programPath.find_last_of('/');
    std::string base = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
    if (!base.empty()) appName() = base;
}
