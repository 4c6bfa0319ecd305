#include <windows.h>

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "control/protocol.h"
#include "platform/win32/control/pipe_client.h"
#include "platform/win32/control/pipe_io.h"
#include "platform/win32/control/pipe_name.h"
#include "platform/win32/program/options.h"

namespace {

constexpr DWORD kReplyTimeoutMs = 15000;
constexpr std::size_t kMaxReplyBytes = std::size_t{16} * 1024 * 1024;

// One request on the user's pipe; the reply object, or null after a line on stderr.
nlohmann::json request(const nlohmann::json& body) {
    const auto sid = platform::win32::currentUserSid();
    if (!sid) {
        std::fprintf(stderr, "veskosd: the user's SID is unknown\n");
        return nullptr;
    }
    const std::string name = platform::win32::controlPipeName(*sid);
    HANDLE pipe = platform::win32::openPipeClient(name);
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "veskosd: no running instance (%s: error %lu)\n", name.c_str(),
                     GetLastError());
        return nullptr;
    }
    const std::string line =
        body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::string reply;
    const bool ok = platform::win32::writePipe(pipe, line, kReplyTimeoutMs) &&
                    platform::win32::readPipeLine(pipe, reply, kMaxReplyBytes, kReplyTimeoutMs);
    CloseHandle(pipe);
    if (!ok) {
        std::fprintf(stderr, "veskosd: the instance did not answer\n");
        return nullptr;
    }
    std::string refusal;
    nlohmann::json accepted = control::acceptedReply(reply, refusal);
    if (accepted.is_null()) std::fprintf(stderr, "veskosd: %s\n", refusal.c_str());
    return accepted;
}

}  // namespace

int runPost(const std::vector<std::string>& args) {
    const auto message = control::parseUnsigned(args.at(0));
    const auto wParam = control::parseUnsigned(args.at(1));
    const auto lParam = control::parseSigned(args.at(2));
    if (!message || *message > 0xFFFFFFFFu || !wParam || !lParam) {
        std::fprintf(stderr, "veskosd: post takes three numbers: MESSAGE WPARAM LPARAM\n");
        return 1;
    }
    // As any program would: the window by its title, and a posted message.
    HWND window = FindWindowW(nullptr, L"VESKOSD");
    if (!window) {
        std::fprintf(stderr, "veskosd: no window titled VESKOSD\n");
        return 1;
    }
    if (!PostMessageW(window, static_cast<UINT>(*message), static_cast<WPARAM>(*wParam),
                      static_cast<LPARAM>(*lParam))) {
        std::fprintf(stderr, "veskosd: PostMessage: error %lu\n", GetLastError());
        return 1;
    }
    return 0;
}

int runStatus() {
    auto reply = request({{"op", "status"}});
    if (reply.is_null()) return 1;
    std::printf("%s\n", reply["status"].dump(2).c_str());
    return 0;
}
