#include "tests/support/user_manager_mock.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/process.h"

namespace testsupport {

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

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

UserManagerMock::UserManagerMock(Answer answer) : dir_(makeTempDir("veskosd-userbus")) {
    address_ = "unix:path=" + dir_ + "/bus";
    std::ofstream(dir_ + "/bus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>session</type><listen>"
        << address_
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
           "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
           "<allow receive_sender=\"*\"/></policy></busconfig>\n";
    bus_ = spawnBackground(
        {"dbus-daemon", "--config-file=" + dir_ + "/bus.conf", "--nofork", "--nopidfile"},
        dir_ + "/bus.log");
    // Set before the mock starts, so that it and the programs it runs see this bus alone.
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    std::string name = "org.freedesktop.DBus";
    if (answer != Answer::Absent) {
        const std::string parameters = std::string(R"({"record": ")") + dir_ +
                                       R"(/requests.json", "answer": ")" + answerName(answer) +
                                       R"("})";
        mock_ = spawnBackground({"/usr/bin/python3", "-m", "dbusmock", "--session", "--template",
                                 VESKOSD_USER_MANAGER_TEMPLATE, "-p", parameters},
                                dir_ + "/mock.log");
        name = "org.freedesktop.systemd1";
    }
    if (waitFor(name)) return;
    const std::string logs =
        "dbus-daemon:\n" + slurp(dir_ + "/bus.log") + "\ndbusmock:\n" + slurp(dir_ + "/mock.log");
    killAndReap(mock_);
    killAndReap(bus_);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    removeTree(dir_);
    throw std::runtime_error("the mocked user manager did not come up; logs:\n" + logs);
}

bool UserManagerMock::waitFor(const std::string& name) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (bus_ > 0 && std::chrono::steady_clock::now() < deadline) {
        int status = -1;
        const std::string owned =
            run({"gdbus", "call", "--address", address_, "--dest", "org.freedesktop.DBus",
                 "--object-path", "/org/freedesktop/DBus", "--method",
                 "org.freedesktop.DBus.NameHasOwner", name},
                &status);
        if (status == 0 && owned.find("true") != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

UserManagerMock::~UserManagerMock() {
    killAndReap(mock_);
    killAndReap(bus_);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    removeTree(dir_);
}

std::string UserManagerMock::requests() const {
    return slurp(dir_ + "/requests.json");
}

}  // namespace testsupport
