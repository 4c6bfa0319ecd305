#include "tests/support/dbusmock.h"

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

constexpr const char* kManager = "org.freedesktop.login1.Manager";

}  // namespace

LogindMock::LogindMock(const std::string& parameters)
    : parameters_(parameters), dir_(makeTempDir("veskosd-dbus")) {
    address_ = "unix:path=" + dir_ + "/bus";
    {
        std::ofstream conf(dir_ + "/bus.conf");
        conf << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                "1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>custom</type><listen>"
             << address_
             << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
                "<allow receive_sender=\"*\"/></policy></busconfig>\n";
    }
    bus_ = spawnBackground(
        {"dbus-daemon", "--config-file=" + dir_ + "/bus.conf", "--nofork", "--nopidfile"},
        dir_ + "/bus.log");
    startMock();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    if (waitForName()) return;
    const std::string logs =
        "dbus-daemon:\n" + slurp(dir_ + "/bus.log") + "\ndbusmock:\n" + slurp(dir_ + "/mock.log");
    killAndReap(mock_);
    killAndReap(bus_);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    removeTree(dir_);
    throw std::runtime_error("the mocked logind did not come up; logs:\n" + logs);
}

void LogindMock::startMock() {
    mock_ = spawnBackground({"/usr/bin/python3", "-m", "dbusmock", "--template", "logind", "-l",
                             dir_ + "/calls.log", "-p", parameters_},
                            dir_ + "/mock.log", {"DBUS_SYSTEM_BUS_ADDRESS=" + address_});
}

bool LogindMock::waitForName() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (bus_ > 0 && mock_ > 0 && std::chrono::steady_clock::now() < deadline) {
        int status = -1;
        const std::string owned =
            run({"gdbus", "call", "--address", address_, "--dest", "org.freedesktop.DBus",
                 "--object-path", "/org/freedesktop/DBus", "--method",
                 "org.freedesktop.DBus.NameHasOwner", "org.freedesktop.login1"},
                &status);
        if (status == 0 && owned.find("true") != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void LogindMock::restart() {
    killAndReap(mock_);
    startMock();
    if (!waitForName()) {
        throw std::runtime_error("the mocked logind did not come back; log:\n" +
                                 slurp(dir_ + "/mock.log"));
    }
}

LogindMock::~LogindMock() {
    killAndReap(mock_);
    killAndReap(bus_);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    removeTree(dir_);
}

std::string LogindMock::call(const std::string& method,
                             const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"gdbus",         "call",
                                  "--address",     address_,
                                  "--dest",        "org.freedesktop.login1",
                                  "--object-path", "/org/freedesktop/login1",
                                  "--method",      method};
    argv.insert(argv.end(), args.begin(), args.end());
    int status = -1;
    std::string out = run(argv, &status);
    if (status != 0) throw std::runtime_error("gdbus call " + method + " failed: " + out);
    return out;
}

std::string LogindMock::callLog() const {
    return slurp(dir_ + "/calls.log");
}

bool LogindMock::called(const std::string& text) const {
    return callLog().find(text) != std::string::npos;
}

std::string LogindMock::inhibitors() const {
    return call(std::string(kManager) + ".ListInhibitors");
}

void LogindMock::setManagerString(const std::string& property, const std::string& value) const {
    // AddProperty refuses a property that is there already; UpdateProperties then changes it.
    try {
        call("org.freedesktop.DBus.Mock.AddProperty", {kManager, property, "<'" + value + "'>"});
    } catch (const std::runtime_error&) {
    }
    call("org.freedesktop.DBus.Mock.UpdateProperties",
         {kManager, "{'" + property + "': <'" + value + "'>}"});
}

void LogindMock::emit(const std::string& interface, const std::string& member,
                      const std::string& signature, const std::string& args) const {
    call("org.freedesktop.DBus.Mock.EmitSignal", {interface, member, signature, args});
}

void LogindMock::replaceMethod(const std::string& method, const std::string& inSignature,
                               const std::string& outSignature, const std::string& code) const {
    call("org.freedesktop.DBus.Mock.AddMethod",
         {kManager, method, inSignature, outSignature, code});
}

}  // namespace testsupport
