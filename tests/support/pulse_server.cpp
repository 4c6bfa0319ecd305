#include "tests/support/pulse_server.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/process.h"

namespace testsupport {

PulseServer::PulseServer() : dir_(makeTempDir("veskosd-pulse")) {
    address_ = "unix:" + dir_ + "/native";
    {
        std::ofstream pa(dir_ + "/test.pa");
        pa << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << dir_
           << "/native\n"
           << "load-module module-null-sink sink_name=spk sink_properties='device.description="
              "\"Speakers\" device.form_factor=speaker'\n"
           << "load-module module-null-sink sink_name=spdif sink_properties='device.description="
              "\"Digital\" device.profile.name=iec958-stereo'\n"
           << "load-module module-null-sink sink_name=hp sink_properties='device.description="
              "\"Headphones\" device.form_factor=headphone'\n"
           << "set-default-sink spk\n";
    }
    pid_ = spawnBackground(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-F",
         dir_ + "/test.pa", "--log-target=file:" + dir_ + "/pa.log"},
        dir_ + "/pa.out", {"XDG_RUNTIME_DIR=" + dir_, "HOME=" + dir_});
    setenv("PULSE_SERVER", address_.c_str(), 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = -1;
        run({"pactl", "info"}, &status);
        if (status == 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream log(dir_ + "/pa.log");
    std::stringstream s;
    s << log.rdbuf();
    killAndReap(pid_);
    removeTree(dir_);
    throw std::runtime_error("pulseaudio did not start; its log:\n" + s.str());
}

PulseServer::~PulseServer() {
    killAndReap(pid_);
    unsetenv("PULSE_SERVER");
    removeTree(dir_);
}

std::string PulseServer::pactl(const std::string& args) const {
    std::vector<std::string> argv{"pactl"};
    std::istringstream in(args);
    std::string word;
    while (in >> word) argv.push_back(word);
    return run(argv);
}

int PulseServer::volumePercent(const std::string& sink) const {
    const std::string out = pactl("get-sink-volume " + sink);
    std::smatch m;
    if (!std::regex_search(out, m, std::regex(R"((\d+)%)"))) {
        throw std::runtime_error("no volume for " + sink + ": " + out);
    }
    return std::stoi(m[1]);
}

bool PulseServer::muted(const std::string& sink) const {
    return pactl("get-sink-mute " + sink).find("yes") != std::string::npos;
}

}  // namespace testsupport
