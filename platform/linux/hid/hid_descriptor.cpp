#include "platform/linux/hid/hid_descriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace platform::linux_adapter {

namespace {

enum ItemType : uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };
enum MainTag : uint8_t { kInput = 0x8, kCollection = 0xA, kEndCollection = 0xC };
enum GlobalTag : uint8_t { kUsagePage = 0x0, kReportId = 0x8, kPush = 0xA, kPop = 0xB };
enum LocalTag : uint8_t { kUsage = 0x0 };
constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint32_t kApplication = 0x01;
// Real descriptors push a level or two; the kernel itself allows four.
constexpr std::size_t kMaxPushDepth = 16;

struct GlobalState {
    uint16_t usagePage = 0;
    uint8_t reportId = 0;  // 0: none declared yet
};

struct LocalState {
    bool hasUsage = false;
    uint32_t usage = 0;
    bool extended = false;  // a 4-byte usage carries its own page in the high half
};

uint32_t littleEndian(std::span<const uint8_t> data) {
    uint32_t v = 0;
    for (std::size_t i = data.size(); i-- > 0;) v = (v << 8) | data[i];
    return v;
}

void addId(std::vector<uint8_t>& ids, uint8_t id) {
    const auto it = std::lower_bound(ids.begin(), ids.end(), id);
    if (it == ids.end() || *it != id) ids.insert(it, id);
}

HidDescriptorResult fail(const char* why, std::size_t offset) {
    return {std::nullopt, std::string(why) + " at offset " + std::to_string(offset)};
}

}  // namespace

bool HidDescriptor::reportBelongsTo(uint8_t reportId, uint16_t usagePage, uint16_t usage) const {
    return std::any_of(collections.begin(), collections.end(), [&](const HidCollection& c) {
        return c.usagePage == usagePage && c.usage == usage &&
               std::binary_search(c.reportIds.begin(), c.reportIds.end(), reportId);
    });
}

bool HidDescriptor::hasCollection(uint16_t usagePage, uint16_t usage) const {
    return std::any_of(collections.begin(), collections.end(), [&](const HidCollection& c) {
        return c.usagePage == usagePage && c.usage == usage;
    });
}

HidDescriptorResult parseHidDescriptor(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return {std::nullopt, "empty report descriptor"};
    HidDescriptor out;
    GlobalState global;
    std::vector<GlobalState> stack;
    LocalState local;
    std::size_t depth = 0;
    // The application collection the items at hand belong to; none outside one.
    constexpr std::size_t kNone = SIZE_MAX;
    std::size_t current = kNone;

    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const uint8_t prefix = bytes[pos];
        if (prefix == kLongItemPrefix) {
            // No long item tag is defined; its data is skipped.
            if (bytes.size() - pos < 3) return fail("truncated long item", pos);
            const std::size_t size = bytes[pos + 1];
            if (bytes.size() - pos - 3 < size) return fail("truncated long item", pos);
            pos += 3 + size;
            continue;
        }
        const std::size_t sizeCode = prefix & 0x3;
        const std::size_t size = sizeCode == 3 ? 4 : sizeCode;
        const auto type = static_cast<uint8_t>((prefix >> 2) & 0x3);
        const auto tag = static_cast<uint8_t>(prefix >> 4);
        if (bytes.size() - pos - 1 < size) return fail("truncated item", pos);
        const uint32_t data = littleEndian(bytes.subspan(pos + 1, size));
        const std::size_t at = pos;
        pos += 1 + size;

        if (type == kMain) {
            if (tag == kCollection) {
                if (depth == 0) {
                    current = kNone;
                    if (data == kApplication) {
                        // A short usage is read against the page in force now, even when
                        // the page was declared after the usage.
                        const uint32_t u = local.hasUsage ? local.usage : 0;
                        const auto page =
                            static_cast<uint16_t>(local.extended ? u >> 16 : global.usagePage);
                        out.collections.push_back({page, static_cast<uint16_t>(u & 0xFFFF), {}});
                        current = out.collections.size() - 1;
                    }
                }
                ++depth;
            } else if (tag == kEndCollection) {
                if (depth == 0) return fail("end of a collection never opened", at);
                if (--depth == 0) current = kNone;
            } else if (tag == kInput && current != kNone) {
                addId(out.collections[current].reportIds, global.reportId);
            }
            local = {};
        } else if (type == kGlobal) {
            if (tag == kUsagePage) {
                global.usagePage = static_cast<uint16_t>(data);
            } else if (tag == kReportId) {
                if (data == 0 || data > 0xFF) return fail("invalid report id", at);
                global.reportId = static_cast<uint8_t>(data);
                out.numbered = true;
            } else if (tag == kPush) {
                if (stack.size() == kMaxPushDepth) return fail("push nested too deep", at);
                stack.push_back(global);
            } else if (tag == kPop) {
                if (stack.empty()) return fail("pop without push", at);
                global = stack.back();
                stack.pop_back();
            }
        } else if (type == kLocal) {
            if (tag == kUsage && !local.hasUsage) {
                local.hasUsage = true;
                local.usage = data;
                local.extended = size == 4;
            }
        }
    }
    if (depth != 0) return {std::nullopt, "collection left open at the end"};
    if (out.numbered) {
        // Reports declared before the first id cannot be told apart from the numbered ones.
        for (auto& c : out.collections) {
            if (!c.reportIds.empty() && c.reportIds.front() == 0)
                c.reportIds.erase(c.reportIds.begin());
        }
    }
    return {std::move(out), {}};
}

std::vector<uint8_t> readHidDescriptorFile(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::generic_category().message(errno);
        return {};
    }
    std::vector<uint8_t> bytes(kMaxHidDescriptorSize + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = path + ": " + std::generic_category().message(errno);
            close(fd);
            return {};
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    if (got > kMaxHidDescriptorSize) {
        error = path + ": larger than any report descriptor";
        return {};
    }
    bytes.resize(got);
    return bytes;
}

}  // namespace platform::linux_adapter
