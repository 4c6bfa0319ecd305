// A window object that records what reaches its procedure, kept apart from <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace base {
class Window;
}

namespace testsupport {

struct ProbedMessage {
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
    bool operator==(const ProbedMessage&) const = default;
};

class DialogProbe {
public:
    virtual ~DialogProbe() = default;
    virtual base::Window* window() = 0;
    // Waits up to 5 s for `n` queued items and runs them through the procedure, on the calling
    // thread (the one that made the probe); what the procedure saw.
    virtual std::vector<ProbedMessage> take(std::size_t n) = 0;
    virtual std::size_t pending() = 0;
};

std::unique_ptr<DialogProbe> makeDialogProbe();

}  // namespace testsupport
