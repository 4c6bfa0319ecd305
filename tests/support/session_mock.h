// A private session bus with one python3-dbusmock template on it (a template of the package, or
// a file of ours), or with nothing on it. Sets DBUS_SESSION_BUS_ADDRESS for this process, and so
// for the daemons it starts, while it runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/private_bus.h"

namespace testsupport {

class SessionMock {
public:
    // `name` is the bus name the template owns; an empty `templ` leaves the bus empty. Throws
    // std::runtime_error, with the logs, when the bus or the mock does not come up.
    SessionMock(const std::string& templ, const std::string& name,
                const std::string& parameters = "{}");
    ~SessionMock();
    SessionMock(const SessionMock&) = delete;
    SessionMock& operator=(const SessionMock&) = delete;

    // The mock's process; -1 when the bus is empty.
    pid_t pid() const { return mock_; }
    // The calls made to the mock so far, one "Method args" line each.
    std::string callLog() const;
    // A method on `path` of the mock, arguments in GVariant text; throws when the call fails.
    std::string call(const std::string& path, const std::string& method,
                     const std::vector<std::string>& args = {}) const;

    // Ends the mock and starts a fresh one, as a restart of the service would: a new owner of its
    // name, none of the old state. Throws as the constructor does.
    void restart();

private:
    void startMock();

    std::string templ_;
    std::string parameters_;
    PrivateBus bus_;
    std::string name_;
    pid_t mock_ = -1;
};

}  // namespace testsupport
