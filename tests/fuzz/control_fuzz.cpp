// Fuzzes the control requests from the bytes on the socket to the reply line: the same parse,
// check and dispatch the daemon runs, with ops standing in for the daemon's own. Every request
// must get exactly one reply, one line of valid UTF-8 JSON with "ok".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app/control_requests.h"
#include "app/globals.h"
#include "base/window.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkReply(const std::string& reply) {
    check(!reply.empty() && reply.find('\n') == reply.size() - 1);
    // Strict parsing throws on invalid UTF-8, which libFuzzer reports.
    const auto j = nlohmann::json::parse(reply);
    check(j.is_object() && j.contains("ok") && j["ok"].is_boolean());
}

// Echoes its request, with bytes that need not be UTF-8; the fields it reads decide how.
nlohmann::json fakeOp(const nlohmann::json& request) {
    const std::string how = request.value("how", "");
    if (how == "invalid") throw std::invalid_argument(request.value("text", ""));
    if (how == "runtime") throw std::runtime_error("\xFF" + request.value("text", ""));
    if (how == "int") throw 7;
    return {{"echo", request}, {"raw\xC0", std::string("\xED\xA0\x80")}};
}

bool setUp() {
    static auto* window = new base::Window;  // belongs to this thread's queue
    window->setWindowText("VESKOSD");
    hMainWnd.store(window);
    registerControlOp("fake", fakeOp);
    registerControlOp("null", [](const nlohmann::json&) { return nlohmann::json(); });
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const bool ready = setUp();
    (void)ready;
    int replies = 0;
    handleControlRequest(std::string_view(reinterpret_cast<const char*>(data), size),
                         [&replies](std::string reply) {
                             ++replies;
                             checkReply(reply);
                         });
    // The GUI thread's part: run what was queued, and count messages the posts left.
    base::MessageQueue& queue = hMainWnd.load()->queue();
    base::MessageQueue::Item item;
    while (queue.pending() > 0) {
        check(queue.get(item));
        if (item.task) item.task();
    }
    check(replies == 1);
    return 0;
}
