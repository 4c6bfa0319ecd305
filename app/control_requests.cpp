#include "app/control_requests.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "app/globals.h"
#include "app/status.h"
#include "control/protocol.h"

namespace {

// Never destroyed: the control thread may still serve a request while the process exits.
std::mutex& opsMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::map<std::string, ControlOp>& ops() {
    static auto* m = new std::map<std::string, ControlOp>;
    return *m;
}

const char* const kNoWindow = "the main window does not exist yet";

// The reply of `work`, with whatever it throws turned into an error reply.
std::string replyOf(const std::function<std::string()>& work) {
    try {
        return work();
    } catch (const std::invalid_argument& e) {
        return control::errorReply(e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veskosd: control request failed: %s\n", e.what());
        return control::errorReply(std::string("request failed: ") + e.what());
    } catch (...) {
        std::fprintf(stderr, "veskosd: control request failed\n");
        return control::errorReply("request failed");
    }
}

// Tasks are not counted against the queue's high-water mark: the server holds one request
// per connection, so there are never more of them than it has slots.
void runOnGuiThread(std::function<std::string()> work, control::Respond respond) {
    base::Window* wnd = hMainWnd.load();
    if (!wnd) {
        respond(control::errorReply(kNoWindow));
        return;
    }
    wnd->queue().postTask(
        [work = std::move(work), respond = std::move(respond)] { respond(replyOf(work)); });
}

void dispatch(std::string_view line, const control::Respond& respond) {
    control::ParseResult parsed = control::parseRequest(line);
    if (!parsed.request) {
        respond(control::errorReply(parsed.error));
        return;
    }
    const control::Request& request = *parsed.request;
    if (request.post) {
        base::Window* wnd = hMainWnd.load();
        if (!wnd) {
            respond(control::errorReply(kNoWindow));
        } else if (!wnd->queue().postFromOutside(
                       {wnd, request.post->message, request.post->wParam, request.post->lParam})) {
            respond(control::errorReply("the main window's queue is full; try again later"));
        } else {
            respond(control::okReply());
        }
        return;
    }
    if (request.op == "status") {
        runOnGuiThread([] { return control::okReply({{"status", buildStatus()}}); }, respond);
        return;
    }
    ControlOp op;
    {
        std::lock_guard lock(opsMutex());
        auto it = ops().find(request.op);
        if (it != ops().end()) op = it->second;
    }
    if (!op) {
        respond(control::errorReply("unknown op \"" + request.op + "\""));
        return;
    }
    runOnGuiThread([op, body = request.body] { return control::okReply(op(body)); }, respond);
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

void handleControlRequest(std::string_view line, const control::Respond& respond) {
    // The server ignores a second reply, should the failure come after the first.
    std::string failure;
    try {
        dispatch(line, respond);
        return;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unexpected failure";
    }
    std::fprintf(stderr, "veskosd: control request failed: %s\n", failure.c_str());
    respond(control::errorReply("request failed: " + failure));
}
