// Small helpers for tests that start real components.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// Runs a command to its end and returns its stdout; exit status in *status when given.
std::string run(const std::vector<std::string>& argv, int* status = nullptr);

// Starts a background process with stdout/stderr to `logPath`; -1 when it cannot start.
pid_t spawnBackground(const std::vector<std::string>& argv, const std::string& logPath,
                      const std::vector<std::string>& extraEnv = {});
void killAndReap(pid_t pid);

// A number of a /proc status file ("VmRSS" in kB, "voluntary_ctxt_switches"); -1 when the file or
// the field is not there.
long procStatusField(const std::string& statusPath, const std::string& key);
// A process's resident memory in kB and its open descriptors; -1 when it cannot be read.
long residentKb(pid_t pid);
int openDescriptors(pid_t pid);

std::string makeTempDir(const char* prefix);
void removeTree(const std::string& path);

}  // namespace testsupport
