// Requests on the control socket: one JSON object per line, answered by one JSON object.
//   {"op":"post","message":1281,"wParam":512,"lParam":32}
//   {"op":"status"}
//   {"op":"screenshot"}
//   {"op":"sim","args":["audio","level","0.5"]}
//   {"op":"<other>", ...}   handled by whichever subsystem registered the op
// The ops above are checked field by field, unknown fields included; other ops check their
// own fields.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace control {

inline constexpr std::size_t kMaxRequestBytes = 4096;

// Hands a request's reply line to the server; callable from any thread. Only the first reply
// counts, and one for a client that has gone is dropped.
using Respond = std::function<void(std::string reply)>;

struct PostRequest {
    uint32_t message = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
};

// NOLINTNEXTLINE(bugprone-exception-escape): json's move only checks its invariant; it never throws
struct Request {
    std::string op;
    nlohmann::json body;              // the whole object, for ops that take more fields
    std::optional<PostRequest> post;  // set for "post"
};

// The request, or an error text saying what is wrong with it.
struct ParseResult {
    std::optional<Request> request;
    std::string error;
};
ParseResult parseRequest(std::string_view line);

// One line of valid UTF-8 whatever the texts hold: bytes that are not UTF-8 become "\\xNN".
std::string okReply(nlohmann::json fields = nlohmann::json::object());
std::string errorReply(const std::string& error);
std::string escapeInvalidUtf8(std::string_view text);
// A client's view of a reply: the object when the daemon said ok, else null with `error` saying
// why ("unreadable reply: ..." or "refused: ...").
nlohmann::json acceptedReply(const std::string& reply, std::string& error);

// Parses the number forms the command line accepts: decimal, or hex with 0x, optionally negative.
std::optional<int64_t> parseSigned(std::string_view text);
std::optional<uint64_t> parseUnsigned(std::string_view text);

}  // namespace control
