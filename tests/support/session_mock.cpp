#include "tests/support/session_mock.h"

#include <cstdlib>
#include <stdexcept>

#include "tests/support/process.h"

namespace testsupport {

SessionMock::SessionMock(const std::string& templ, const std::string& name,
                         const std::string& parameters)
    : templ_(templ), parameters_(parameters), bus_("veskosd-session", "session"), name_(name) {
    // Set before the mock and the daemons start, while no other thread reads the environment.
    setenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
    if (!templ.empty()) startMock();
    if (bus_.waitForOwner(templ.empty() ? "org.freedesktop.DBus" : name)) return;
    const std::string logs =
        "dbus-daemon:\n" + bus_.file("bus.log") + "\ndbusmock:\n" + bus_.file("mock.log");
    killAndReap(mock_);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");  // NOLINT(concurrency-mt-unsafe)
    throw std::runtime_error("the mocked " + name + " did not come up; logs:\n" + logs);
}

void SessionMock::startMock() {
    mock_ = spawnBackground({"/usr/bin/python3", "-m", "dbusmock", "--session", "--template",
                             templ_, "-l", bus_.dir() + "/calls.log", "-p", parameters_},
                            bus_.dir() + "/mock.log");
}

void SessionMock::restart() {
    killAndReap(mock_);
    startMock();
    if (!bus_.waitForOwner(name_)) {
        throw std::runtime_error("the mocked " + name_ + " did not come back; log:\n" +
                                 bus_.file("mock.log"));
    }
}

SessionMock::~SessionMock() {
    killAndReap(mock_);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");  // NOLINT(concurrency-mt-unsafe)
}

std::string SessionMock::callLog() const {
    return bus_.file("calls.log");
}

std::string SessionMock::call(const std::string& path, const std::string& method,
                              const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"gdbus", "call",          "--address", bus_.address(), "--dest",
                                  name_,   "--object-path", path,        "--method",     method};
    argv.insert(argv.end(), args.begin(), args.end());
    int status = -1;
    std::string out = run(argv, &status);
    if (status != 0) throw std::runtime_error("gdbus call " + method + " failed: " + out);
    return out;
}

}  // namespace testsupport
