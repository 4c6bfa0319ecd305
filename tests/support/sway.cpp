#include "tests/support/sway.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/process.h"

namespace testsupport {

namespace {

constexpr uid_t kNobody = Sway::kUser;

std::string tail(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    const std::string text = s.str();
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

}  // namespace

uint32_t Screenshot::at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                           static_cast<std::size_t>(x)) *
                          3;
    return (static_cast<uint32_t>(rgb[i]) << 16) | (static_cast<uint32_t>(rgb[i + 1]) << 8) |
           rgb[i + 2];
}

Sway::Sway(const std::string& extraConfig) {
    dir_ = makeTempDir("veskosd-sway");
    chmod(dir_.c_str(), 0755);
    const std::string run = dir_ + "/run", home = dir_ + "/home", config = dir_ + "/config";
    for (const std::string& d : {run, home}) {
        if (mkdir(d.c_str(), 0700) != 0 || chown(d.c_str(), kNobody, kNobody) != 0) {
            throw std::runtime_error("sway: cannot make " + d);
        }
    }
    {
        std::ofstream c(config);
        c << "output HEADLESS-1 resolution 1920x1080 position 0 0 scale 1\n"
             "output HEADLESS-2 resolution 1920x1080 position 1920 0 scale 2\n"
             "focus_follows_mouse no\n"
          << extraConfig;
    }
    chmod(config.c_str(), 0644);
    start();
    const char* display = std::getenv("DISPLAY");  // NOLINT(concurrency-mt-unsafe)
    hadDisplay_ = display != nullptr;
    if (display) oldDisplay_ = display;
    unsetenv("DISPLAY");                            // NOLINT(concurrency-mt-unsafe)
    setenv("WAYLAND_DISPLAY", socket_.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
}

void Sway::restart() {
    kill();
    start();
}

void Sway::start() {
    const std::string run = dir_ + "/run", home = dir_ + "/home", config = dir_ + "/config";
    log_ = dir_ + "/sway.log";
    pid_ =
        spawnBackground({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env", "-i",
                         "PATH=/usr/bin:/bin", "XDG_RUNTIME_DIR=" + run, "HOME=" + home,
                         "WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_HEADLESS_OUTPUTS=2",
                         "WLR_LIBINPUT_NO_DEVICES=1", "sway", "-c", config},
                        log_);
    if (pid_ < 0) throw std::runtime_error("sway: cannot start setpriv/sway");
    socket_ = run + "/wayland-1";
    // Up once its IPC answers with both outputs configured.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        // setpriv and env exec sway in the same process: its IPC socket carries our child's id.
        ipc_ = run + "/sway-ipc." + std::to_string(kNobody) + "." + std::to_string(pid_) + ".sock";
        if (!std::filesystem::exists(ipc_)) ipc_.clear();
        if (!ipc_.empty() && std::filesystem::exists(socket_)) {
            int status = -1;
            const std::string out =
                testsupport::run({"swaymsg", "-s", ipc_, "-t", "get_outputs", "-r"}, &status);
            if (status == 0 && out.find("HEADLESS-2") != std::string::npos &&
                out.find("\"scale\": 2.0") != std::string::npos) {
                break;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            const std::string why = tail(log_);
            killAndReap(pid_);
            pid_ = -1;
            removeTree(dir_);
            throw std::runtime_error("sway did not come up:\n" + why);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Sway::~Sway() {
    kill();
    unsetenv("WAYLAND_DISPLAY");                                 // NOLINT(concurrency-mt-unsafe)
    if (hadDisplay_) setenv("DISPLAY", oldDisplay_.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
    removeTree(dir_);
}

void Sway::kill() {
    if (pid_ > 0) killAndReap(pid_);
    pid_ = -1;
}

std::string Sway::msg(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"swaymsg", "-s", ipc_};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

Screenshot Sway::screenshot(const std::string& output) {
    int status = -1;
    const std::string ppm = run({"grim", "-t", "ppm", "-o", output, "-"}, &status);
    Screenshot s;
    if (status != 0) return s;
    std::istringstream in(ppm);
    std::string magic;
    int max = 0;
    in >> magic >> s.width >> s.height >> max;
    in.get();
    if (magic != "P6" || max != 255 || s.width <= 0 || s.height <= 0) return {};
    const auto offset = static_cast<std::size_t>(in.tellg());
    const std::size_t size =
        static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height) * 3;
    if (ppm.size() < offset + size) return {};
    s.rgb.assign(ppm.begin() + static_cast<std::ptrdiff_t>(offset),
                 ppm.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return s;
}

bool Sway::type(const std::string& text) {
    int status = -1;
    run({"wtype", text}, &status);
    return status == 0;
}

bool Sway::press(const std::string& name) {
    int status = -1;
    run({"wtype", "-k", name}, &status);
    return status == 0;
}

}  // namespace testsupport
