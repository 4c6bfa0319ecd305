// A private dbus-daemon listening in a directory of its own, which goes with it.
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

class PrivateBus {
public:
    // `type` is the bus configuration's type ("session", "custom"). The daemon is started, not
    // waited for: waitForOwner() tells when the bus answers.
    PrivateBus(const std::string& prefix, const std::string& type);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }
    const std::string& dir() const { return dir_; }
    // Whether `name` has an owner on this bus within 15 s.
    bool waitForOwner(const std::string& name) const;
    // A file of the directory, such as a log, as text; empty when there is none.
    std::string file(const std::string& name) const;

private:
    std::string dir_;
    std::string address_;
    pid_t daemon_ = -1;
};

}  // namespace testsupport
