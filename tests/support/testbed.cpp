#include "tests/support/testbed.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace testsupport {

namespace {

bool check(gboolean ok, GError* error, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "testbed: %s: %s\n", what.c_str(),
                     error != nullptr ? error->message : "failed");
    }
    if (error != nullptr) g_error_free(error);
    return ok != 0;
}

}  // namespace

Testbed::Testbed() : bed_(umockdev_testbed_new()) {}

Testbed::~Testbed() {
    g_object_unref(bed_);
}

bool Testbed::redirected() {
    return umockdev_in_mock_environment() != 0;
}

std::string Testbed::data(const std::string& name) {
    return std::string(VESKOSD_UMOCKDEV_DATA) + "/" + name;
}

std::string Testbed::add(const std::string& file) {
    std::ifstream in(data(file));
    std::stringstream text;
    text << in.rdbuf();
    const std::string description = text.str();
    GError* error = nullptr;
    if (!check(umockdev_testbed_add_from_string(bed_, description.c_str(), &error), error, file)) {
        return {};
    }
    const auto at = description.find("P: ");
    if (at == std::string::npos) return {};
    const auto end = description.find('\n', at);
    return "/sys" + description.substr(at + 3, end - at - 3);
}

bool Testbed::loadIoctl(const std::string& devnode, const std::string& file) {
    GError* error = nullptr;
    return check(umockdev_testbed_load_ioctl(bed_, devnode.c_str(), data(file).c_str(), &error),
                 error, file);
}

bool Testbed::replay(const std::string& devnode, const std::string& file) {
    GError* error = nullptr;
    return check(
        umockdev_testbed_load_evemu_events(bed_, devnode.c_str(), data(file).c_str(), &error),
        error, file);
}

int Testbed::deviceEnd(const std::string& devnode) {
    return umockdev_testbed_get_dev_fd(bed_, devnode.c_str());
}

void Testbed::uevent(const std::string& syspath, const char* action) {
    umockdev_testbed_uevent(bed_, syspath.c_str(), action);
}

void Testbed::remove(const std::string& syspath) {
    umockdev_testbed_remove_device(bed_, syspath.c_str());
}

}  // namespace testsupport
