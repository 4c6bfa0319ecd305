#include "platform/sim/display_controller.h"

#include "platform/sim/verb_args.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "base/hex.h"

namespace platform::sim {

namespace {

// Ten bits a byte at 9600 baud.
constexpr auto kByteTime = std::chrono::microseconds(1042);
constexpr int kFrameGapMs = 128;

uint8_t parseByte(const std::string& text, const char* usage) {
    return static_cast<uint8_t>(parseWhole(text, 0, 0xFF, usage));
}

}  // namespace

SimDisplayController::SimDisplayController(std::string linkPath) : link_(std::move(linkPath)) {}

SimDisplayController::~SimDisplayController() {
    stop_ = true;
    if (wake_[1] >= 0) [[maybe_unused]]
        auto n = write(wake_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    unplug();
    for (int fd : {master_, slaveKeep_, wake_[0], wake_[1]}) {
        if (fd >= 0) close(fd);
    }
}

bool SimDisplayController::start(std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = std::string("pty: ") + std::generic_category().message(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof(name)) != 0) {
        error = "pty has no name";
        return false;
    }
    slaveName_ = name;
    slaveKeep_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Raw from the start, or bytes sent before the program opens the line would be echoed.
    termios t{};
    if (slaveKeep_ < 0 || tcgetattr(slaveKeep_, &t) != 0) {
        error = std::string("pty slave: ") + std::generic_category().message(errno);
        return false;
    }
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    tcsetattr(slaveKeep_, TCSANOW, &t);
    if (pipe2(wake_, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::generic_category().message(errno);
        return false;
    }
    plug();
    thread_ = std::thread([this] { run(); });
    return true;
}

void SimDisplayController::unplug() {
    std::lock_guard l(m_);
    if (plugged_) unlink(link_.c_str());
    plugged_ = false;
}

void SimDisplayController::plug() {
    std::lock_guard l(m_);
    if (plugged_) return;
    unlink(link_.c_str());
    plugged_ = symlink(slaveName_.c_str(), link_.c_str()) == 0;
}

void SimDisplayController::setAnswer(Answer answer, uint32_t lateMs) {
    std::lock_guard l(m_);
    answer_ = answer;
    lateMs_ = lateMs;
}

void SimDisplayController::sendReport(uint8_t code) {
    writePaced({0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, code, 0x00, 0x03});
}

void SimDisplayController::sendRaw(const std::vector<uint8_t>& bytes) {
    writePaced(bytes);
}

void SimDisplayController::writePaced(const std::vector<uint8_t>& bytes) {
    std::lock_guard l(writeMutex_);
    // The line's own time for the bytes, then all of them at once.
    std::this_thread::sleep_for(kByteTime * bytes.size());
    std::size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + off, bytes.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        off += static_cast<std::size_t>(n);
    }
}

void SimDisplayController::run() {
    std::vector<uint8_t> frame;
    while (!stop_) {
        pollfd p[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = poll(p, 2, frame.empty() ? -1 : kFrameGapMs);
        if (stop_ || (r > 0 && (p[1].revents & POLLIN))) return;
        if (r == 0) {
            frame.clear();  // a partial frame followed by silence is dropped
            continue;
        }
        if (r < 0 || !(p[0].revents & POLLIN)) continue;
        uint8_t buf[64];
        const ssize_t n = read(master_, buf, sizeof(buf));
        if (n <= 0) continue;
        for (ssize_t i = 0; i < n; ++i) {
            frame.push_back(buf[i]);
            if (frame.size() == 10) {
                answer(frame);
                frame.clear();
            }
        }
    }
}

void SimDisplayController::answer(const std::vector<uint8_t>& frame) {
    // A pty delivers at once what a 9600-baud line takes its time over.
    std::this_thread::sleep_for(kByteTime * frame.size());

    Answer mode;
    uint32_t lateMs;
    std::vector<uint8_t> reply{0x02, 0x00, 0x00, 0x02, 0x7E, 0x00, 0x02, frame[7], frame[8], 0x03};
    {
        std::lock_guard l(m_);
        received_.push_back(base::hexBytes(frame));
        mode = answer_;
        lateMs = lateMs_;
        const bool command =
            frame[0] == 0x02 && frame[3] == 0x01 && frame[4] == 0x7E && frame[9] == 0x03;
        if (!command) return;
        switch (frame[7]) {
            case 0x00:
                brightness_ = frame[8];
                break;
            case 0x01:
                reply[8] = brightness_;
                break;
            case 0x02:
                volume_ = frame[8];
                break;
            case 0x04:
                mute_ = frame[8];
                break;
            case 0x0D:
                panel_ = frame[8];
                break;
            default:
                break;
        }
    }
    if (mode == Answer::Never) return;
    if (mode == Answer::Late) std::this_thread::sleep_for(std::chrono::milliseconds(lateMs));
    if (mode == Answer::Garbage)
        reply = {0x13, 0x37, 0x00, 0x02, 0x7E, 0xAA, 0x55, 0x01, 0x02, 0x04};
    writePaced(reply);
}

std::vector<std::string> SimDisplayController::received() const {
    std::lock_guard l(m_);
    return received_;
}

nlohmann::json SimDisplayController::status() const {
    std::lock_guard l(m_);
    static const char* const kAnswers[] = {"normal", "late", "never", "garbage"};
    return {{"received", received_}, {"brightness", brightness_},
            {"volume", volume_},     {"mute", mute_},
            {"panel", panel_},       {"answer", kAnswers[static_cast<int>(answer_)]},
            {"plugged", plugged_},   {"path", link_}};
}

nlohmann::json SimDisplayController::command(const nlohmann::json& args) {
    static constexpr const char* kUsage =
        "sim controller: report CODE | send BYTE... | answer normal|never|garbage|late MS | "
        "unplug | plug";
    auto arg = [&](std::size_t i) {
        if (i >= args.size() || !args[i].is_string()) throw std::invalid_argument(kUsage);
        return args[i].get<std::string>();
    };
    const std::string verb = arg(1);
    if (verb == "report") {
        sendReport(parseByte(arg(2), kUsage));
    } else if (verb == "send") {
        std::vector<uint8_t> bytes;
        for (std::size_t i = 2; i < args.size(); ++i) bytes.push_back(parseByte(arg(i), kUsage));
        if (bytes.empty()) throw std::invalid_argument(kUsage);
        sendRaw(bytes);
    } else if (verb == "answer") {
        const std::string how = arg(2);
        if (how == "normal") {
            setAnswer(Answer::Normal);
        } else if (how == "never") {
            setAnswer(Answer::Never);
        } else if (how == "garbage") {
            setAnswer(Answer::Garbage);
        } else if (how == "late") {
            setAnswer(Answer::Late, static_cast<uint32_t>(parseWhole(arg(3), 10, 60000, kUsage)));
        } else {
            throw std::invalid_argument(kUsage);
        }
    } else if (verb == "unplug") {
        unplug();
    } else if (verb == "plug") {
        plug();
    } else {
        throw std::invalid_argument(kUsage);
    }
    return nlohmann::json::object();
}

}  // namespace platform::sim
