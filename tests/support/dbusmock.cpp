#include "tests/support/dbusmock.h"

#include <cstdlib>
#include <stdexcept>

#include "tests/support/process.h"

namespace testsupport {

namespace {

constexpr const char* kManager = "org.freedesktop.login1.Manager";

}  // namespace

LogindMock::LogindMock(const std::string& parameters)
    : parameters_(parameters), bus_("veskosd-dbus", "custom") {
    startMock();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", bus_.address().c_str(), 1);
    if (bus_.waitForOwner("org.freedesktop.login1")) return;
    const std::string logs =
        "dbus-daemon:\n" + bus_.file("bus.log") + "\ndbusmock:\n" + bus_.file("mock.log");
    killAndReap(mock_);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    throw std::runtime_error("the mocked logind did not come up; logs:\n" + logs);
}

void LogindMock::startMock() {
    mock_ =
        spawnBackground({"/usr/bin/python3", "-m", "dbusmock", "--template", "logind", "-l",
                         bus_.dir() + "/calls.log", "-p", parameters_},
                        bus_.dir() + "/mock.log", {"DBUS_SYSTEM_BUS_ADDRESS=" + bus_.address()});
}

void LogindMock::restart() {
    killAndReap(mock_);
    startMock();
    if (!bus_.waitForOwner("org.freedesktop.login1")) {
        throw std::runtime_error("the mocked logind did not come back; log:\n" +
                                 bus_.file("mock.log"));
    }
}

LogindMock::~LogindMock() {
    killAndReap(mock_);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

std::string LogindMock::call(const std::string& method,
                             const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"gdbus",         "call",
                                  "--address",     bus_.address(),
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
    return bus_.file("calls.log");
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
