// A private Xvfb (1920x1080x24, no reset when clients leave). Sets DISPLAY for this process
// while it runs.
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

class Xvfb {
public:
    // Throws std::runtime_error when the server does not come up.
    explicit Xvfb(const std::string& geometry = "1920x1080x24");
    ~Xvfb();
    // Ends the server as a crash would for its clients; DISPLAY stays.
    void kill();
    // A new server on the same display number, which no other test took meanwhile (throws as
    // the constructor does).
    void restart();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    const std::string& display() const { return display_; }
    pid_t pid() const { return pid_; }

private:
    void start(const std::string& display);

    std::string geometry_;
    pid_t pid_ = -1;
    std::string display_;
    std::string dir_;
    int reservation_ = -1;  // the lock that keeps the display number ours
};

// A pixel of the root window as 0xRRGGBB.
uint32_t rootPixel(int x, int y);
// Whether a window with this name exists and is viewable.
bool windowViewable(const std::string& name);

}  // namespace testsupport
