#include <cstdio>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/options.h"
#include "control/client.h"
#include "control/protocol.h"
#include "platform/linux/runtime_paths.h"

namespace {

constexpr int kReplyTimeoutMs = 15000;

// Sends one request and prints the error of a failed one; the reply object, or null.
nlohmann::json request(const CliOptions& options, const nlohmann::json& body) {
    std::string error;
    auto dir = platform::linux_adapter::resolveRuntimeDir(options.runtimeDir, false, error);
    auto reply = control::sendRequest(*dir + "/control.sock", body.dump(), kReplyTimeoutMs, error);
    if (!reply) {
        std::fprintf(stderr, "veskosd: %s\n", error.c_str());
        return nullptr;
    }
    nlohmann::json parsed = nlohmann::json::parse(*reply, nullptr, false);
    if (!parsed.is_object()) {
        std::fprintf(stderr, "veskosd: unreadable reply: %s\n", reply->c_str());
        return nullptr;
    }
    if (!parsed.value("ok", false)) {
        std::fprintf(stderr, "veskosd: refused: %s\n", parsed.value("error", "no reason").c_str());
        return nullptr;
    }
    return parsed;
}

}  // namespace

int runPost(const CliOptions& options, const std::vector<std::string>& args) {
    auto message = control::parseUnsigned(args.at(0));
    auto wParam = control::parseUnsigned(args.at(1));
    auto lParam = control::parseSigned(args.at(2));
    if (!message || *message > 0xFFFFFFFFu || !wParam || !lParam) {
        std::fprintf(stderr, "veskosd: post takes three numbers: MESSAGE WPARAM LPARAM\n");
        return 1;
    }
    auto reply = request(
        options, {{"op", "post"}, {"message", *message}, {"wParam", *wParam}, {"lParam", *lParam}});
    return reply.is_null() ? 1 : 0;
}

int runStatus(const CliOptions& options) {
    auto reply = request(options, {{"op", "status"}});
    if (reply.is_null()) return 1;
    std::printf("%s\n", reply["status"].dump(2).c_str());
    return 0;
}

int runSim(const CliOptions& options, const std::vector<std::string>& args) {
    auto reply = request(options, {{"op", "sim"}, {"args", args}});
    if (reply.is_null()) return 1;
    reply.erase("ok");
    if (!reply.empty()) std::printf("%s\n", reply.dump(2).c_str());
    return 0;
}

int runScreenshot(const CliOptions& options, const std::string& file) {
    // The daemon may run elsewhere than here: it gets the absolute path.
    std::error_code ec;
    const auto path = std::filesystem::absolute(file, ec);
    if (ec) {
        std::fprintf(stderr, "veskosd: %s: %s\n", file.c_str(), ec.message().c_str());
        return 1;
    }
    auto reply = request(options, {{"op", "screenshot"}, {"file", path.string()}});
    return reply.is_null() ? 1 : 0;
}
