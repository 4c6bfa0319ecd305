#include "control/protocol.h"

#include <charconv>
#include <limits>

namespace control {

namespace {

template <typename T>
std::optional<T> integerField(const nlohmann::json& body, const char* key, std::string& error) {
    auto it = body.find(key);
    if (it == body.end()) {
        error = std::string("missing field \"") + key + "\"";
        return std::nullopt;
    }
    if (!it->is_number_integer()) {
        error = std::string("field \"") + key + "\" must be an integer";
        return std::nullopt;
    }
    // Range-check in the widest type before narrowing.
    if (it->is_number_unsigned()) {
        const uint64_t v = it->get<uint64_t>();
        if (v > static_cast<uint64_t>(std::numeric_limits<T>::max())) {
            error = std::string("field \"") + key + "\" is out of range";
            return std::nullopt;
        }
        return static_cast<T>(v);
    }
    const int64_t v = it->get<int64_t>();
    if (v < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
        (v > 0 &&
         static_cast<uint64_t>(v) > static_cast<uint64_t>(std::numeric_limits<T>::max()))) {
        error = std::string("field \"") + key + "\" is out of range";
        return std::nullopt;
    }
    return static_cast<T>(v);
}

}  // namespace

ParseResult parseRequest(std::string_view line) {
    ParseResult result;
    if (line.size() > kMaxRequestBytes) {
        result.error = "request too long";
        return result;
    }
    nlohmann::json body = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (body.is_discarded()) {
        result.error = "request is not valid JSON";
        return result;
    }
    if (!body.is_object()) {
        result.error = "request must be a JSON object";
        return result;
    }
    auto op = body.find("op");
    if (op == body.end() || !op->is_string() || op->get<std::string>().empty()) {
        result.error = "missing field \"op\"";
        return result;
    }
    Request request;
    request.op = op->get<std::string>();
    if (request.op == "post") {
        std::string error;
        auto message = integerField<uint32_t>(body, "message", error);
        auto wParam = message ? integerField<uint64_t>(body, "wParam", error) : std::nullopt;
        auto lParam = wParam ? integerField<int64_t>(body, "lParam", error) : std::nullopt;
        if (!lParam) {
            result.error = error;
            return result;
        }
        request.post = PostRequest{*message, *wParam, *lParam};
    }
    request.body = std::move(body);
    result.request = std::move(request);
    return result;
}

std::string okReply(nlohmann::json fields) {
    if (!fields.is_object()) fields = nlohmann::json::object();
    fields["ok"] = true;
    return fields.dump() + "\n";
}

std::string errorReply(const std::string& error) {
    return nlohmann::json{{"ok", false}, {"error", error}}.dump() + "\n";
}

std::optional<int64_t> parseSigned(std::string_view text) {
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    auto magnitude = parseUnsigned(text);
    if (!magnitude) return std::nullopt;
    const uint64_t limit =
        static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    if (*magnitude > limit) return std::nullopt;
    if (negative) return static_cast<int64_t>(0 - *magnitude);
    return static_cast<int64_t>(*magnitude);
}

std::optional<uint64_t> parseUnsigned(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace control
