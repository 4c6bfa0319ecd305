#include "tests/support/private_bus.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/process.h"

namespace testsupport {

PrivateBus::PrivateBus(const std::string& prefix, const std::string& type)
    : dir_(makeTempDir(prefix.c_str())), address_("unix:path=" + dir_ + "/bus") {
    std::ofstream(dir_ + "/bus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>"
        << type << "</type><listen>" << address_
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
           "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
           "<allow receive_sender=\"*\"/></policy></busconfig>\n";
    daemon_ = spawnBackground(
        {"dbus-daemon", "--config-file=" + dir_ + "/bus.conf", "--nofork", "--nopidfile"},
        dir_ + "/bus.log");
}

PrivateBus::~PrivateBus() {
    killAndReap(daemon_);
    removeTree(dir_);
}

bool PrivateBus::waitForOwner(const std::string& name) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (daemon_ > 0 && std::chrono::steady_clock::now() < deadline) {
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

std::string PrivateBus::file(const std::string& name) const {
    std::ifstream in(dir_ + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace testsupport
