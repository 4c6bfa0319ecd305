// A private session bus with the mocked systemd user manager of user_manager_template.py on it,
// or with nothing on it. Sets DBUS_SESSION_BUS_ADDRESS for this process while it runs.
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/private_bus.h"

namespace testsupport {

class UserManagerMock {
public:
    // How StartTransientUnit answers; Absent leaves the bus without a manager.
    enum class Answer { Start, Refuse, Never, Absent };

    // Throws std::runtime_error, with the logs, when the bus or the mock does not come up.
    explicit UserManagerMock(Answer answer = Answer::Start);
    ~UserManagerMock();
    UserManagerMock(const UserManagerMock&) = delete;
    UserManagerMock& operator=(const UserManagerMock&) = delete;

    // The mock's process, the parent of the programs it starts; -1 when Absent.
    pid_t pid() const { return mock_; }
    // The StartTransientUnit requests so far, one JSON object a line: name, mode, properties.
    std::string requests() const;

private:
    PrivateBus bus_;
    pid_t mock_ = -1;
};

}  // namespace testsupport
