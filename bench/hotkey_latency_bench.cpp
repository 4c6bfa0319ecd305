// From a volume key pressed on the X server to the OSD shown with the new level, as the server
// sees it: the key goes in through XTest, and the time is taken when the server reports the
// OSD window mapped (it is mapped at alpha 192, after its new frame was composed). Each sample
// waits for the previous OSD to fade out, so a run takes about four seconds a sample.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/session/client.h"
#include "tests/support/process.h"
#include "tests/support/pulse_server.h"
#include "tests/support/xvfb.h"

namespace {

using namespace std::chrono;

bool isOsd(Display* d, Window w) {
    char* name = nullptr;
    const bool osd = XFetchName(d, w, &name) && name && std::string(name) == "VESKOSD";
    if (name) XFree(name);
    return osd;
}

}  // namespace

int main(int argc, char** argv) {
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    testsupport::PulseServer pulse;
    testsupport::Xvfb xvfb;
    pulse.pactl("set-sink-volume spk 30%");
    const std::string dir = testsupport::makeTempDir("veskosd-latency");
    const pid_t daemon =
        testsupport::spawnBackground({VESKOSD_BINARY, "--machine", "linux", "--runtime-dir", dir,
                                      "--data-dir", dir, "--serial", "/nonexistent"},
                                     dir + "/daemon.log");
    std::string error;
    for (int i = 0; i < 500; ++i) {
        if (control::sendRequest(dir + "/control.sock", R"({"op":"status"})", 1000, error)) break;
        std::this_thread::sleep_for(milliseconds(10));
    }
    Display* d = XOpenDisplay(nullptr);
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    const KeyCode key = XKeysymToKeycode(d, XStringToKeysym("XF86AudioRaiseVolume"));
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        XSync(d, True);  // drop what came before
        const auto start = steady_clock::now();
        XTestFakeKeyEvent(d, key, True, CurrentTime);
        XTestFakeKeyEvent(d, key, False, CurrentTime);
        XFlush(d);
        bool mapped = false;
        while (!mapped && steady_clock::now() - start < seconds(2)) {
            XEvent ev;
            XNextEvent(d, &ev);
            mapped = ev.type == MapNotify && isOsd(d, ev.xmap.window);
        }
        if (!mapped) {
            std::fprintf(stderr, "the OSD did not appear\n");
            break;
        }
        ms.push_back(duration<double, std::milli>(steady_clock::now() - start).count());
        std::this_thread::sleep_for(milliseconds(3600));  // hold and fade
    }
    XCloseDisplay(d);
    testsupport::killAndReap(daemon);
    testsupport::removeTree(dir);
    if (ms.empty()) return 1;
    std::sort(ms.begin(), ms.end());
    std::printf(
        "volume key to OSD mapped: median %.2f ms, min %.2f ms, max %.2f ms (%zu samples)\n",
        ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
    return 0;
}
