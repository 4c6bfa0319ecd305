#include "platform/linux/acpi/acpi_call_reply.h"

#include <cstring>
#include <vector>

namespace platform::linux_adapter {

namespace {

constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kArgumentHeaderSize = 4;
// The module nests packages only as deep as the firmware does; this only bounds the recursion.
constexpr int kMaxDepth = 16;

struct Value {
    uint16_t type = kAcpiInteger;
    std::vector<uint8_t> data;
};

void putLe(std::vector<uint8_t>& to, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) to.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putLe(std::span<uint8_t> to, std::size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) to[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ == text_.size(); }

    bool value(Value& v, int depth) {
        if (depth > kMaxDepth || atEnd()) return false;
        switch (text_[pos_]) {
            case '0':
                return integer(v);
            case '"':
                return string(v);
            case '{':
                return buffer(v);
            case '[':
                return package(v, depth);
            default:
                return false;
        }
    }

    // A string alone is everything between the first and the last quote: the module prints it
    // without escaping, so quotes inside it are its own.
    bool wholeString(Value& v) {
        if (text_.size() < 2 || text_.front() != '"' || text_.back() != '"') return false;
        v.type = kAcpiString;
        const auto body = text_.substr(1, text_.size() - 2);
        v.data.assign(body.begin(), body.end());
        v.data.push_back(0);
        pos_ = text_.size();
        return true;
    }

private:
    bool take(char c) {
        if (atEnd() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    bool hex(uint64_t& v, std::size_t maxDigits) {
        if (!take('0') || !take('x')) return false;
        std::size_t digits = 0;
        v = 0;
        while (!atEnd()) {
            const char c = text_[pos_];
            int d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (d < 0) break;
            // Leading zeros do not count against the width.
            if (v != 0 || d != 0) ++digits;
            if (digits > maxDigits) return false;
            v = (v << 4) | static_cast<uint64_t>(d);
            ++pos_;
        }
        return pos_ > 0 && text_[pos_ - 1] != 'x';
    }

    bool separator() { return take(',') && take(' '); }

    bool integer(Value& v) {
        uint64_t n = 0;
        if (!hex(n, 16)) return false;
        v.type = kAcpiInteger;
        putLe(v.data, n, n > 0xFFFFFFFFu ? 8 : 4);
        return true;
    }

    bool string(Value& v) {
        ++pos_;
        const auto end = text_.find('"', pos_);
        if (end == std::string_view::npos) return false;
        v.type = kAcpiString;
        v.data.assign(text_.begin() + static_cast<std::ptrdiff_t>(pos_),
                      text_.begin() + static_cast<std::ptrdiff_t>(end));
        v.data.push_back(0);
        pos_ = end + 1;
        return true;
    }

    // "{0x01, 0x02}"; a buffer the module cut short ends in a comma and has no brace.
    bool buffer(Value& v) {
        ++pos_;
        v.type = kAcpiBuffer;
        if (take('}')) return true;
        for (;;) {
            uint64_t b = 0;
            if (!hex(b, 2)) return false;
            v.data.push_back(static_cast<uint8_t>(b));
            if (take('}')) return true;
            if (!separator()) return false;
        }
    }

    // Elements are nested results, each padded to at least four data bytes.
    bool package(Value& v, int depth) {
        ++pos_;
        v.type = kAcpiPackage;
        if (take(']')) return true;
        for (;;) {
            Value element;
            if (!value(element, depth + 1)) return false;
            if (element.data.size() > 0xFFFF) return false;
            putLe(v.data, element.type, 2);
            putLe(v.data, element.data.size(), 2);
            v.data.insert(v.data.end(), element.data.begin(), element.data.end());
            for (std::size_t i = element.data.size(); i < 4; ++i) v.data.push_back(0);
            if (take(']')) return true;
            if (!separator()) return false;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

bool writeReply(std::span<uint8_t> out, const Value* result, uint32_t& written) {
    const std::size_t dataSize = result ? result->data.size() : 0;
    if (dataSize > 0xFFFF) return false;
    const std::size_t total = kHeaderSize + (result ? kArgumentHeaderSize + dataSize : 0);
    if (total > out.size()) return false;
    putLe(out, 0, kAcpiReplySignature, 4);
    putLe(out, 4, static_cast<uint32_t>(total), 4);
    putLe(out, 8, result ? 1 : 0, 4);
    if (result) {
        putLe(out, 12, result->type, 2);
        putLe(out, 14, static_cast<uint32_t>(dataSize), 2);
        if (dataSize > 0) std::memcpy(out.data() + 16, result->data.data(), dataSize);
    }
    written = static_cast<uint32_t>(total);
    return true;
}

std::string_view trimmed(std::string_view reply) {
    // The module's read hands over the terminating NUL too; a newline may follow by hand-made
    // replies.
    const auto end = reply.find('\0');
    if (end != std::string_view::npos) reply = reply.substr(0, end);
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == ' ')) reply.remove_suffix(1);
    return reply;
}

}  // namespace

std::optional<uint32_t> encodeAcpiCallReply(std::string_view reply, std::span<uint8_t> out) {
    reply = trimmed(reply);
    uint32_t written = 0;
    if (reply.empty()) {
        if (!writeReply(out, nullptr, written)) return std::nullopt;
        return written;
    }
    Value v;
    Parser whole(reply);
    const bool ok = reply.front() == '"' ? whole.wholeString(v) : whole.value(v, 0);
    if (!ok || !whole.atEnd()) return std::nullopt;
    if (!writeReply(out, &v, written)) return std::nullopt;
    return written;
}

std::optional<std::string> acpiRequestMethodName(std::span<const uint8_t> request) {
    if (request.size() < 20) return std::nullopt;
    std::string name(reinterpret_cast<const char*>(request.data() + 4), 4);
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return std::nullopt;
    }
    return name;
}

}  // namespace platform::linux_adapter
