// The all-in-one's display controller, simulated at the far end of a pty: it answers every
// command frame at the pace of a 9600-baud line, keeps the state it was sent, and can be made
// to answer late, never or with garbage, to send button reports, and to be unplugged.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform::sim {

class SimDisplayController {
public:
    enum class Answer { Normal, Late, Never, Garbage };

    // The port appears as a link at `linkPath`.
    explicit SimDisplayController(std::string linkPath);
    ~SimDisplayController();
    SimDisplayController(const SimDisplayController&) = delete;
    SimDisplayController& operator=(const SimDisplayController&) = delete;

    bool start(std::string& error);
    const std::string& path() const { return link_; }

    void unplug();
    void plug();
    void setAnswer(Answer answer, uint32_t lateMs = 0);
    // A frame of the controller's own: 02 00 00 02 7E 00 02 code 00 03.
    void sendReport(uint8_t code);
    // Any bytes, as they are.
    void sendRaw(const std::vector<uint8_t>& bytes);

    std::vector<std::string> received() const;
    nlohmann::json status() const;
    // `sim controller ...`; throws std::invalid_argument with the usage.
    nlohmann::json command(const nlohmann::json& args);

private:
    void run();
    void answer(const std::vector<uint8_t>& frame);
    void writePaced(const std::vector<uint8_t>& bytes);

    std::string link_;
    int master_ = -1;
    int slaveKeep_ = -1;  // keeps the line up while nobody else has it open
    int wake_[2] = {-1, -1};
    std::string slaveName_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex m_;
    std::mutex writeMutex_;
    std::vector<std::string> received_;
    Answer answer_ = Answer::Normal;
    uint32_t lateMs_ = 0;
    bool plugged_ = false;
    uint8_t brightness_ = 50, volume_ = 0, mute_ = 0, panel_ = 1;
};

}  // namespace platform::sim
