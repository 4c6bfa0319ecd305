// The security of a new state file: one that others may write (the 0666 the callers ask for)
// is opened to "EVERYONE".
#pragma once

#include <windows.h>

#include <sddl.h>

#include <cstdint>

namespace platform::win32 {

// A state file written by the service must stay writable by the user's own instance, and the
// other way round. Null attributes: the folder's inherited default.
class StateFileSecurity {
public:
    explicit StateFileSecurity(uint32_t mode) {
        if ((mode & 0002) == 0) return;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;FA;;;WD)", SDDL_REVISION_1,
                                                                 &descriptor_, nullptr)) {
            attributes_.nLength = sizeof(attributes_);
            attributes_.lpSecurityDescriptor = descriptor_;
        }
    }
    ~StateFileSecurity() {
        if (descriptor_) LocalFree(descriptor_);
    }
    StateFileSecurity(const StateFileSecurity&) = delete;
    StateFileSecurity& operator=(const StateFileSecurity&) = delete;
    SECURITY_ATTRIBUTES* get() { return descriptor_ ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace platform::win32
