#include "control/protocol.h"

#include <charconv>
#include <initializer_list>
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

// The fields each op the protocol knows may carry besides "op".
bool onlyKnownFields(const nlohmann::json& body, std::initializer_list<std::string_view> known,
                     std::string& error) {
    for (const auto& [key, value] : body.items()) {
        if (key == "op") continue;
        bool found = false;
        for (std::string_view k : known) found = found || key == k;
        if (!found) {
            error = "unknown field \"" + escapeInvalidUtf8(key) + "\"";
            return false;
        }
    }
    return true;
}

bool validSimArgs(const nlohmann::json& body, std::string& error) {
    auto it = body.find("args");
    if (it == body.end()) {
        error = "missing field \"args\"";
        return false;
    }
    if (!it->is_array()) {
        error = "field \"args\" must be an array of strings";
        return false;
    }
    for (const auto& a : *it) {
        if (!a.is_string()) {
            error = "field \"args\" must be an array of strings";
            return false;
        }
    }
    return true;
}

// Checks the fields of the ops this protocol knows; other ops pass as they are.
bool validate(Request& request, std::string& error) {
    const nlohmann::json& body = request.body;
    if (request.op == "post") {
        if (!onlyKnownFields(body, {"message", "wParam", "lParam"}, error)) return false;
        auto message = integerField<uint32_t>(body, "message", error);
        auto wParam = message ? integerField<uint64_t>(body, "wParam", error) : std::nullopt;
        auto lParam = wParam ? integerField<int64_t>(body, "lParam", error) : std::nullopt;
        if (!lParam) return false;
        request.post = PostRequest{*message, *wParam, *lParam};
        return true;
    }
    if (request.op == "status" || request.op == "screenshot") {
        return onlyKnownFields(body, {}, error);
    }
    if (request.op == "sim")
        return onlyKnownFields(body, {"args"}, error) && validSimArgs(body, error);
    return true;
}

// Every string, keys included, with its invalid bytes escaped.
nlohmann::json escaped(const nlohmann::json& j) {
    if (j.is_string()) return escapeInvalidUtf8(j.get_ref<const std::string&>());
    if (j.is_array()) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& e : j) out.push_back(escaped(e));
        return out;
    }
    if (j.is_object()) {
        nlohmann::json out = nlohmann::json::object();
        for (const auto& [key, value] : j.items()) out[escapeInvalidUtf8(key)] = escaped(value);
        return out;
    }
    return j;
}

std::string line(const nlohmann::json& j) {
    try {
        return j.dump() + "\n";
    } catch (const nlohmann::json::type_error&) {
        // Only texts that are not UTF-8 make dump throw; escaping is left to this rare case.
    }
    return escaped(j).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// Length of the valid UTF-8 sequence at the start of `s`, or 0.
std::size_t utf8SequenceLength(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t lead = b(0);
    if (lead < 0x80) return 1;
    std::size_t n = 0;
    uint8_t lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        if (lead == 0xE0) lo = 0xA0;  // overlong
        if (lead == 0xED) hi = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        if (lead == 0xF0) lo = 0x90;  // overlong
        if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < n || b(1) < lo || b(1) > hi) return 0;
    for (std::size_t i = 2; i < n; ++i) {
        if (b(i) < 0x80 || b(i) > 0xBF) return 0;
    }
    return n;
}

}  // namespace

ParseResult parseRequest(std::string_view text) {
    ParseResult result;
    if (text.size() > kMaxRequestBytes) {
        result.error = "request too long";
        return result;
    }
    nlohmann::json body = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (body.is_discarded()) {
        result.error = "request is not valid JSON";
        return result;
    }
    if (!body.is_object()) {
        result.error = "request must be a JSON object";
        return result;
    }
    auto op = body.find("op");
    if (op == body.end() || !op->is_string() || op->get_ref<const std::string&>().empty()) {
        result.error = "missing field \"op\"";
        return result;
    }
    Request request;
    request.op = op->get<std::string>();
    request.body = std::move(body);
    if (!validate(request, result.error)) return result;
    result.request = std::move(request);
    return result;
}

std::string okReply(nlohmann::json fields) {
    if (!fields.is_object()) fields = nlohmann::json::object();
    fields["ok"] = true;
    return line(fields);
}

std::string errorReply(const std::string& error) {
    return line(nlohmann::json{{"ok", false}, {"error", error}});
}

nlohmann::json acceptedReply(const std::string& reply, std::string& error) {
    nlohmann::json parsed = nlohmann::json::parse(reply, nullptr, false);
    if (!parsed.is_object()) {
        error = "unreadable reply: " + reply;
        return nullptr;
    }
    if (!parsed.value("ok", false)) {
        error = "refused: " + parsed.value("error", "no reason");
        return nullptr;
    }
    return parsed;
}

std::string escapeInvalidUtf8(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t n = utf8SequenceLength(text);
        if (n > 0) {
            out.append(text.substr(0, n));
            text.remove_prefix(n);
            continue;
        }
        const auto byte = static_cast<uint8_t>(text.front());
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
        text.remove_prefix(1);
    }
    return out;
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
