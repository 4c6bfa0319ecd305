#include "platform/linux/acpi/acpi_drivers.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/linux/acpi/acpi_char_device.h"
#include "platform/linux/acpi/acpi_proc_call.h"
#include "platform/linux/acpi/evdev_buttons.h"

namespace platform::linux_adapter {

namespace {

class LinuxAcpiDrivers final : public AcpiDrivers {
public:
    explicit LinuxAcpiDrivers(AcpiOptions options) : options_(std::move(options)) {}

    // The name is the one the firmware driver has elsewhere; here the options say where it is.
    std::shared_ptr<AcpiDevice> open(const std::string& /*name*/) override {
        if (!options_.devicePath.empty()) {
            const int fd = ::open(options_.devicePath.c_str(), O_RDWR | O_CLOEXEC);
            if (fd >= 0) {
                return std::make_shared<AcpiCharDevice>(
                    fd, [](int d, unsigned long r, void* a) { return ioctl(d, r, a); });
            }
            std::fprintf(stderr, "veskosd: cannot open the firmware driver %s: %s\n",
                         options_.devicePath.c_str(),
                         std::generic_category().message(errno).c_str());
        }
        if (access(options_.callPath.c_str(), R_OK | W_OK) == 0) {
            if (options_.methodPrefix.empty()) {
                std::fprintf(stderr,
                             "veskosd: no --acpi-method-path: firmware methods are called by "
                             "their bare names\n");
            }
            auto queue = std::make_shared<NotifyQueue>();
            if (!options_.buttonsPath.empty()) startButtonReader(options_.buttonsPath, queue);
            return std::make_shared<AcpiProcCallDevice>(
                options_.methodPrefix, acpiCallFile(options_.callPath), std::move(queue));
        }
        // Where no driver was ever configured its absence is the usual case: told once here,
        // not as a message box at every login.
        if (!absenceIsNews()) std::fprintf(stderr, "veskosd: Can't Open ACPI kernel Mode Driver\n");
        return nullptr;
    }

    bool absenceIsNews() const override {
        return !options_.devicePath.empty() || !options_.methodPrefix.empty();
    }

    uint32_t modelWithoutFirmware() override {
        if (options_.model != 0) {
            std::fprintf(stderr,
                         "veskosd: no model number from the firmware: model %u "
                         "(--model)\n",
                         options_.model);
        }
        return options_.model;
    }

private:
    AcpiOptions options_;
};

}  // namespace

std::unique_ptr<AcpiDrivers> makeAcpiDrivers(const AcpiOptions& options) {
    return std::make_unique<LinuxAcpiDrivers>(options);
}

}  // namespace platform::linux_adapter
