// The button actions written over the login manager's own, kept in the data directory so that
// a restart goes on acting on them until the originals are written back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::linux_adapter {

struct ButtonActions {
    int32_t power = 0;
    int32_t sleep = 0;
    bool operator==(const ButtonActions&) const = default;
};

class SchemeStore {
public:
    explicit SchemeStore(std::string directory);
    // The stored actions; empty when none are (or the file is damaged).
    std::optional<ButtonActions> load() const;
    bool save(const ButtonActions& actions) const;
    void clear() const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The login manager's Handle* values as button actions: poweroff 3, suspend 1, hibernate 2,
// everything else (ignore, lock, reboot...) 0.
int32_t actionForHandle(const std::string& handle);

}  // namespace platform::linux_adapter
