#include "tests/platform/win32/dialog_probe.h"

#include <chrono>
#include <thread>

#include "base/window.h"

namespace testsupport {

namespace {

class Recorder : public base::Window {
public:
    base::LRESULT WindowProc(uint32_t message, base::WPARAM wParam, base::LPARAM lParam) override {
        seen.push_back({message, wParam, lParam});
        return baseWindowProc(message, wParam, lParam);
    }
    std::vector<ProbedMessage> seen;
};

class Probe : public DialogProbe {
public:
    base::Window* window() override { return &recorder_; }
    std::size_t pending() override { return recorder_.queue().pending(); }

    std::vector<ProbedMessage> take(std::size_t n) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (pending() < n && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        recorder_.seen.clear();
        base::MessageQueue::Item item;
        for (std::size_t i = std::min(n, pending()); i > 0 && recorder_.queue().get(item); --i) {
            item.message.window->WindowProc(item.message.message, item.message.wParam,
                                            item.message.lParam);
        }
        return recorder_.seen;
    }

private:
    Recorder recorder_;
};

}  // namespace

std::unique_ptr<DialogProbe> makeDialogProbe() {
    return std::make_unique<Probe>();
}

}  // namespace testsupport
