// The Windows program's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WinOptions {
    std::string dataDir;     // empty: the all-users application-data folder
    uint32_t osVersion = 0;  // 0: the system's own
    bool verbose = false;
};

int runDaemon(const WinOptions& options);
// Exit status 0 when the instance took it.
int runPost(const std::vector<std::string>& args);
int runStatus();
