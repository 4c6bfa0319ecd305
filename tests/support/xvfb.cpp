#include "tests/support/xvfb.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>

#include "tests/support/process.h"

extern char** environ;

namespace testsupport {

namespace {

// Holds display number `n` for this object's life, against every other test process: a test
// that kills and restarts its server must find its number still free, or a daemon under test
// would take up another test's server.
int reserveDisplay(int n) {
    const std::string path = "/tmp/veskosd-test-display-" + std::to_string(n) + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

Xvfb::Xvfb(const std::string& geometry) : geometry_(geometry), dir_(makeTempDir("veskosd-xvfb")) {
    // A number no X server nor other test holds, from a place that differs between processes.
    const int first = 100 + static_cast<int>(getpid() % 800);
    for (int i = 0; i < 800 && reservation_ < 0; ++i) {
        const int n = 100 + (first - 100 + i) % 800;
        if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0) continue;
        reservation_ = reserveDisplay(n);
        if (reservation_ < 0) continue;
        try {
            start(":" + std::to_string(n));
        } catch (...) {
            close(reservation_);
            reservation_ = -1;
        }
    }
    if (reservation_ < 0) {
        removeTree(dir_);
        throw std::runtime_error("no display number could be had for Xvfb");
    }
}

void Xvfb::start(const std::string& display) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The read end may itself be fd 3: close it before the write end takes that number.
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    const std::string log = dir_ + "/xvfb.log";
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> args{"Xvfb",    "-displayfd", "3",   "-screen",  "0",
                                  geometry_, "-nolisten",  "tcp", "-noreset", "-br"};
    args.insert(args.begin() + 1, display);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start Xvfb");
    }
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
        killAndReap(pid_);
        pid_ = -1;
        throw std::runtime_error("Xvfb did not report its display");
    }
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
}

void Xvfb::kill() {
    killAndReap(pid_);
    pid_ = -1;
}

void Xvfb::restart() {
    kill();
    start(display_);
}

Xvfb::~Xvfb() {
    kill();
    unsetenv("DISPLAY");
    removeTree(dir_);
    if (reservation_ >= 0) close(reservation_);
}

uint32_t rootPixel(int x, int y) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) throw std::runtime_error("no display");
    XImage* img = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
    const uint32_t p = img ? static_cast<uint32_t>(XGetPixel(img, 0, 0)) & 0xFFFFFF : 0;
    if (img) XDestroyImage(img);
    XCloseDisplay(d);
    return p;
}

bool windowViewable(const std::string& name) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) throw std::runtime_error("no display");
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    bool viewable = false;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) {
        for (unsigned i = 0; i < n; ++i) {
            char* wname = nullptr;
            if (XFetchName(d, children[i], &wname) && wname) {
                XWindowAttributes a;
                if (name == wname && XGetWindowAttributes(d, children[i], &a) &&
                    a.map_state == IsViewable) {
                    viewable = true;
                }
                XFree(wname);
            }
        }
        if (children) XFree(children);
    }
    XCloseDisplay(d);
    return viewable;
}

}  // namespace testsupport
