// A private pulseaudio with three null sinks: "spk" (speaker, the default), "spdif" (an iec958
// profile) and "hp" (headphone). Sets PULSE_SERVER for this process while it runs.
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

class PulseServer {
public:
    // Throws std::runtime_error, with the server's log, when it does not come up.
    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    const std::string& address() const { return address_; }
    // pactl against this server, returning its stdout.
    std::string pactl(const std::string& args) const;
    // A sink's volume in percent of the first channel, as pactl reports it.
    int volumePercent(const std::string& sink) const;
    bool muted(const std::string& sink) const;

private:
    std::string dir_;
    std::string address_;
    pid_t pid_ = -1;
};

}  // namespace testsupport
