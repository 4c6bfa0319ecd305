#include "platform/win32/rawinput/raw_input_record.h"

// After the port's header: from here on the system's macros name the types.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/rawinput/raw_input_calls.h"

namespace platform::win32 {

namespace {

// Far above any report of a USB button device; a larger record is not one of ours.
constexpr UINT kMaxRecord = 64 * 1024;
constexpr UINT kFailed = static_cast<UINT>(-1);

template <typename T>
T readAt(const std::vector<uint8_t>& bytes, std::size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

}  // namespace

std::optional<RawInputRecord> readRawInputRecord(const RawInputCalls& calls, void* rawInput) {
    auto* handle = static_cast<HRAWINPUT>(rawInput);
    constexpr UINT kHeader = sizeof(RAWINPUTHEADER);
    UINT size = 0;
    if (calls.getRawInputData(handle, RID_INPUT, nullptr, &size, kHeader) == kFailed) {
        return std::nullopt;
    }
    if (size < kHeader || size > kMaxRecord) return std::nullopt;
    std::vector<uint8_t> bytes(size);
    const UINT got = calls.getRawInputData(handle, RID_INPUT, bytes.data(), &size, kHeader);
    if (got == kFailed || got < kHeader || got > bytes.size()) return std::nullopt;
    bytes.resize(got);

    RawInputRecord record;
    record.type = readAt<RAWINPUTHEADER>(bytes, 0).dwType;
    record.report.clear();
    if (record.type != RIM_TYPEHID) return record;
    // The HID part: the size of one report, their count, then the reports one after another.
    constexpr std::size_t kCounts = 2 * sizeof(DWORD);
    if (bytes.size() < kHeader + kCounts) return std::nullopt;
    const auto reportSize = readAt<DWORD>(bytes, kHeader);
    const auto count = readAt<DWORD>(bytes, kHeader + sizeof(DWORD));
    if (count == 0) return record;
    const std::size_t first = kHeader + kCounts;
    if (reportSize > bytes.size() - first) return std::nullopt;
    record.report.assign(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                         bytes.begin() + static_cast<std::ptrdiff_t>(first + reportSize));
    return record;
}

}  // namespace platform::win32
