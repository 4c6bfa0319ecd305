// A private system bus with python3-dbusmock's logind template on it. Sets
// DBUS_SYSTEM_BUS_ADDRESS for this process while it runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/private_bus.h"

namespace testsupport {

class LogindMock {
public:
    // `parameters`: the template's JSON parameters, e.g. {"CanPowerOff": "challenge"}. Throws
    // std::runtime_error, with the logs, when the bus or the mock does not come up.
    explicit LogindMock(const std::string& parameters = "{}");
    ~LogindMock();
    LogindMock(const LogindMock&) = delete;
    LogindMock& operator=(const LogindMock&) = delete;

    const std::string& address() const { return bus_.address(); }

    // A method on the mocked manager object, arguments in GVariant text; its reply as gdbus
    // prints it. Throws when the call fails.
    std::string call(const std::string& method, const std::vector<std::string>& args = {}) const;
    // The calls made to the mock so far, one "Method args" line each, as its log has them.
    std::string callLog() const;
    // Whether a line of the log contains `text`.
    bool called(const std::string& text) const;
    // ListInhibitors, as gdbus prints it.
    std::string inhibitors() const;
    // Adds or changes a string property of the manager, with PropertiesChanged.
    void setManagerString(const std::string& property, const std::string& value) const;
    // Emits a signal from the manager object: e.g. emit(Manager, "PrepareForShutdown", "b",
    // "[<true>]"); `args` is the av list in GVariant text.
    void emit(const std::string& interface, const std::string& member, const std::string& signature,
              const std::string& args) const;
    // Replaces a method of the manager by one running `code` (python, as dbusmock takes it).
    void replaceMethod(const std::string& method, const std::string& inSignature,
                       const std::string& outSignature, const std::string& code) const;

    // Ends the mocked logind and starts a fresh one, as a restart of the service would: a new
    // owner of its name, none of the old locks. Throws as the constructor does.
    void restart();

private:
    void startMock();

    std::string parameters_;
    PrivateBus bus_;
    pid_t mock_ = -1;
};

}  // namespace testsupport
