#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "cli/key_names.h"
#include "cli/options.h"
#include "control/base64.h"
#include "control/protocol.h"
#include "platform/linux/session/client.h"
#include "platform/linux/session/runtime_paths.h"

namespace {

constexpr int kReplyTimeoutMs = 15000;

// Sends one request and prints the error of a failed one; the reply object, or null.
nlohmann::json request(const CliOptions& options, const nlohmann::json& body) {
    std::string error;
    auto dir = platform::linux_adapter::resolveRuntimeDir(options.runtimeDir, false, error);
    if (!dir) {
        std::fprintf(stderr, "veskosd: runtime directory: %s\n", error.c_str());
        return nullptr;
    }
    // Arguments that are not UTF-8 reach the daemon with those bytes replaced.
    const std::string line = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    auto reply = control::sendRequest(*dir + "/control.sock", line, kReplyTimeoutMs, error);
    if (!reply) {
        std::fprintf(stderr, "veskosd: %s\n", error.c_str());
        return nullptr;
    }
    std::string refusal;
    nlohmann::json accepted = control::acceptedReply(*reply, refusal);
    if (accepted.is_null()) std::fprintf(stderr, "veskosd: %s\n", refusal.c_str());
    return accepted;
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

int runKey(const CliOptions& options, const std::string& name) {
    for (const NamedKey& key : kNamedKeys) {
        if (name != key.name) continue;
        auto reply = request(options, {{"op", "post"},
                                       {"message", WM_HOTKEY},
                                       {"wParam", key.id},
                                       {"lParam", hotKeyLParam(key)}});
        return reply.is_null() ? 1 : 0;
    }
    std::string names;
    for (const NamedKey& key : kNamedKeys) names.append(names.empty() ? "" : ", ").append(key.name);
    std::fprintf(stderr, "veskosd: no key named \"%s\"; one of: %s\n", name.c_str(), names.c_str());
    return 1;
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

namespace {

// Writes `data` to `file`: a regular file or a new one, never through a link, and never
// waiting on a FIFO or a device.
bool writeRegularFile(const std::string& file, const std::vector<uint8_t>& data,
                      std::string& error) {
    const int fd =
        open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::generic_category().message(errno);
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        close(fd);
        error = "not a regular file";
        return false;
    }
    ok = ok && ftruncate(fd, 0) == 0;
    std::size_t off = 0;
    while (ok && off < data.size()) {
        const ssize_t n = write(fd, data.data() + off, data.size() - off);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) off += static_cast<std::size_t>(n);
    }
    if (!ok) error = std::generic_category().message(errno);
    if (close(fd) != 0 && ok) {
        error = std::generic_category().message(errno);
        ok = false;
    }
    return ok;
}

}  // namespace

int runScreenshot(const CliOptions& options, const std::string& file) {
    auto reply = request(options, {{"op", "screenshot"}});
    if (reply.is_null()) return 1;
    const auto png = reply["png"].is_string()
                         ? control::decodeBase64(reply["png"].get_ref<const std::string&>())
                         : std::nullopt;
    if (!png) {
        std::fprintf(stderr, "veskosd: the instance sent no picture\n");
        return 1;
    }
    std::string error;
    if (!writeRegularFile(file, *png, error)) {
        std::fprintf(stderr, "veskosd: %s: %s\n", file.c_str(), error.c_str());
        return 1;
    }
    return 0;
}
