// A private sound server speaking the PulseAudio protocol, with three null sinks: "spk"
// (speaker, the default), "spdif" (an iec958 profile) and "hp" (headphone). Either pulseaudio
// itself or PipeWire's pulse server (pipewire, wireplumber and pipewire-pulse on a private
// D-Bus). Sets PULSE_SERVER for this process while it runs.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class PrivateBus;

enum class SoundServer { PulseAudio, PipeWire };

// "pulseaudio" or "pipewire", for test names and figures.
const char* soundServerName(SoundServer kind);

class PulseServer {
public:
    // Throws std::runtime_error, with the servers' logs, when it does not come up.
    explicit PulseServer(SoundServer kind = SoundServer::PulseAudio);
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    SoundServer kind() const { return kind_; }
    const std::string& address() const { return address_; }
    // The process that speaks the protocol (pulseaudio or pipewire-pulse).
    pid_t pid() const { return pids_.empty() ? -1 : pids_.back(); }
    // pactl against this server, returning its stdout. A new default sink is waited for: on
    // PipeWire the session manager applies it after pactl returns.
    std::string pactl(const std::string& args) const;
    // A sink's volume in percent of the first channel, as pactl reports it.
    int volumePercent(const std::string& sink) const;
    bool muted(const std::string& sink) const;

private:
    void startPulseAudio();
    void startPipeWire();
    void waitForDefaultSink(const std::string& sink) const;
    [[noreturn]] void fail(const std::string& what);

    SoundServer kind_;
    std::string dir_;
    std::string address_;
    std::vector<pid_t> pids_;          // in the order they were started
    std::unique_ptr<PrivateBus> bus_;  // PipeWire's session manager wants one; ends last
};

}  // namespace testsupport
