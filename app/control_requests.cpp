#include "app/control_requests.h"

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <stdexcept>

#include "app/globals.h"
#include "app/status.h"
#include "control/protocol.h"

namespace {

// A GUI thread stuck in a long serial wait still answers within this time.
constexpr auto kGuiReplyTimeout = std::chrono::seconds(10);

// Never destroyed: the control thread may still serve a request while the process exits.
std::mutex& opsMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::map<std::string, ControlOp>& ops() {
    static auto* m = new std::map<std::string, ControlOp>;
    return *m;
}

std::string runOnGuiThread(std::function<std::string()> work) {
    base::Window* wnd = hMainWnd.load();
    if (!wnd) return control::errorReply("the main window does not exist yet");
    auto promise = std::make_shared<std::promise<std::string>>();
    auto future = promise->get_future();
    wnd->queue().postTask([promise, work = std::move(work)] { promise->set_value(work()); });
    if (future.wait_for(kGuiReplyTimeout) != std::future_status::ready) {
        return control::errorReply("the main window did not answer in time");
    }
    return future.get();
}

}  // namespace

void registerControlOp(const std::string& op, ControlOp handler) {
    std::lock_guard lock(opsMutex());
    ops()[op] = std::move(handler);
}

void clearControlOps() {
    std::lock_guard lock(opsMutex());
    ops().clear();
}

std::string handleControlRequest(std::string_view line) {
    control::ParseResult parsed = control::parseRequest(line);
    if (!parsed.request) return control::errorReply(parsed.error);
    const control::Request& request = *parsed.request;

    if (request.post) {
        if (!base::postMessage(hMainWnd.load(), request.post->message, request.post->wParam,
                               request.post->lParam)) {
            return control::errorReply("the main window does not exist yet");
        }
        return control::okReply();
    }
    if (request.op == "status") {
        return runOnGuiThread([] { return control::okReply({{"status", buildStatus()}}); });
    }
    ControlOp op;
    {
        std::lock_guard lock(opsMutex());
        auto it = ops().find(request.op);
        if (it == ops().end()) return control::errorReply("unknown op \"" + request.op + "\"");
        op = it->second;
    }
    return runOnGuiThread([op, body = request.body] {
        try {
            return control::okReply(op(body));
        } catch (const std::invalid_argument& e) {
            return control::errorReply(e.what());
        }
    });
}
