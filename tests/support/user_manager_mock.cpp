#include "tests/support/user_manager_mock.h"

#include <cstdlib>
#include <stdexcept>

#include "tests/support/process.h"

namespace testsupport {

namespace {

const char* answerName(UserManagerMock::Answer answer) {
    switch (answer) {
        case UserManagerMock::Answer::Refuse:
            return "refuse";
        case UserManagerMock::Answer::Never:
            return "never";
        default:
            return "start";
    }
}

}  // namespace

UserManagerMock::UserManagerMock(Answer answer) : bus_("veskosd-userbus", "session") {
    // Set before the mock starts, so that it and the programs it runs see this bus alone.
    setenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().c_str(), 1);
    std::string name = "org.freedesktop.DBus";
    if (answer != Answer::Absent) {
        const std::string parameters = std::string(R"({"record": ")") + bus_.dir() +
                                       R"(/requests.json", "answer": ")" + answerName(answer) +
                                       R"("})";
        mock_ = spawnBackground({"/usr/bin/python3", "-m", "dbusmock", "--session", "--template",
                                 VESKOSD_USER_MANAGER_TEMPLATE, "-p", parameters},
                                bus_.dir() + "/mock.log");
        name = "org.freedesktop.systemd1";
    }
    if (bus_.waitForOwner(name)) return;
    const std::string logs =
        "dbus-daemon:\n" + bus_.file("bus.log") + "\ndbusmock:\n" + bus_.file("mock.log");
    killAndReap(mock_);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    throw std::runtime_error("the mocked user manager did not come up; logs:\n" + logs);
}

UserManagerMock::~UserManagerMock() {
    killAndReap(mock_);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

std::string UserManagerMock::requests() const {
    return bus_.file("requests.json");
}

}  // namespace testsupport
