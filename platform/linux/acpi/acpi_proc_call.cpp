#include "platform/linux/acpi/acpi_proc_call.h"
#include "base/little_endian.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/linux/acpi/acpi_call_reply.h"

namespace platform::linux_adapter {

namespace {

// The module keeps one reply for the whole system: a write and its read go together, whichever
// thread or opened device of this process makes the call.
std::mutex& callMutex() {
    static auto* m = new std::mutex;
    return *m;
}

}  // namespace

AcpiCallTransact acpiCallFile(std::string path) {
    return [path = std::move(path)](const std::string& method) -> std::optional<std::string> {
        std::lock_guard lock(callMutex());
        const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return std::nullopt;
        std::optional<std::string> reply;
        const ssize_t wrote = write(fd, method.data(), method.size());
        if (wrote == static_cast<ssize_t>(method.size())) {
            // One read only: every read resets the module's reply, so a second one would see
            // the tail of "not called". The module's reply never comes near this size. Its
            // write leaves the offset at 0; the seek only makes sure (and fails on a stream).
            std::vector<char> buffer(std::size_t{64} * 1024);
            (void)lseek(fd, 0, SEEK_SET);
            ssize_t got = -1;
            do {
                got = read(fd, buffer.data(), buffer.size());
            } while (got < 0 && errno == EINTR);
            if (got >= 0 && static_cast<std::size_t>(got) < buffer.size()) {
                reply.emplace(buffer.data(), static_cast<std::size_t>(got));
            }
        }
        if (!reply) {
            std::fprintf(stderr, "veskosd: %s: %s\n", path.c_str(),
                         std::generic_category().message(errno).c_str());
        }
        close(fd);
        return reply;
    };
}

AcpiProcCallDevice::AcpiProcCallDevice(std::string methodPrefix, AcpiCallTransact transact,
                                       std::shared_ptr<NotifyQueue> notifications)
    : prefix_(std::move(methodPrefix)),
      transact_(std::move(transact)),
      notifications_(std::move(notifications)) {}

bool AcpiProcCallDevice::control(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                                 uint32_t& returned) {
    switch (code) {
        case kAcpiInitCode:
        case kAcpiRegisterEventCode:
            returned = 0;
            return true;
        case kAcpiGetNotifyCode: {
            if (out.size() < 4) return false;
            const auto next = notifications_->pop();
            if (!next) return false;
            base::writeLe32(out, 0, *next);
            returned = 4;
            return true;
        }
        case kAcpiCallMethodCode: {
            // Only names of ACPI name characters are written: nothing in a request can add
            // arguments or a second line to the module's input.
            const auto name = acpiRequestMethodName(in);
            if (!name) return false;
            const auto reply = transact_(prefix_ + *name);
            if (!reply) return false;
            const auto written = encodeAcpiCallReply(*reply, out);
            if (!written) {
                std::fprintf(stderr, "veskosd: firmware method %s failed: %.80s\n", name->c_str(),
                             reply->c_str());
                return false;
            }
            returned = *written;
            return true;
        }
        default:
            return false;
    }
}

void AcpiProcCallDevice::setNotifyEvent(base::Event* event) {
    notifications_->setEvent(event);
}

}  // namespace platform::linux_adapter
