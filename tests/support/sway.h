// A private headless sway (two outputs: HEADLESS-1 1920x1080 at scale 1, HEADLESS-2 1920x1080 at
// scale 2 beside it), run as an unprivileged user since sway refuses root. Sets WAYLAND_DISPLAY
// (the socket's absolute path) and unsets DISPLAY for this process while it runs.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    // 0xRRGGBB.
    uint32_t at(int x, int y) const;
};

class Sway {
public:
    // Throws std::runtime_error, with the end of sway's log, when it does not come up.
    // `extraConfig`: lines added to its configuration.
    explicit Sway(const std::string& extraConfig = {});
    ~Sway();
    Sway(const Sway&) = delete;
    Sway& operator=(const Sway&) = delete;

    const std::string& socket() const { return socket_; }
    // Its XDG_RUNTIME_DIR, which the programs it runs share; its user's, 0700.
    std::string runtimeDir() const { return dir_ + "/run"; }
    static constexpr uid_t kUser = 65534;
    // Ends the compositor as a crash would for its clients.
    void kill();
    // A new compositor on the same socket (throws as the constructor does).
    void restart();
    // sway's IPC; its output.
    std::string msg(const std::vector<std::string>& args);
    // One output as grim sees it, in its physical pixels; empty when grim fails.
    Screenshot screenshot(const std::string& output);
    // Types `text` with wtype into the focused client; false when wtype fails.
    bool type(const std::string& text);
    // Presses and releases the key of X keysym `name` (wtype -k); false when wtype fails.
    bool press(const std::string& name);

private:
    void start();

    std::string dir_;
    std::string socket_;
    std::string ipc_;
    std::string log_;
    std::string oldDisplay_;
    bool hadDisplay_ = false;
    pid_t pid_ = -1;
};

}  // namespace testsupport
