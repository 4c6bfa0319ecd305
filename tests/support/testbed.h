// A umockdev testbed made from the descriptions in tests/data/umockdev. Only works in a process
// started under umockdev-wrapper, which redirects /sys and /dev into it.
#pragma once

#include <umockdev.h>

#include <string>

namespace testsupport {

class Testbed {
public:
    Testbed();
    ~Testbed();
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    // Whether the redirection is in place; nothing else works without it.
    static bool redirected();
    // A file of tests/data/umockdev.
    static std::string data(const std::string& name);

    // Adds the devices of a description file; the first device's sysfs path, empty on failure.
    std::string add(const std::string& file);
    bool loadIoctl(const std::string& devnode, const std::string& file);
    // Starts replaying an evemu event file into the device node, at the file's times.
    bool replay(const std::string& devnode, const std::string& file);
    // The device end of an emulated node: what is written there, the node's reader reads.
    int deviceEnd(const std::string& devnode);
    void uevent(const std::string& syspath, const char* action);
    void remove(const std::string& syspath);

private:
    UMockdevTestbed* bed_;
};

}  // namespace testsupport
