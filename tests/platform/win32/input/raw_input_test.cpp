// Raw input: records read through the GetRawInputData seam (Wine never delivers a HID report),
// and under Wine the whole road from RegisterRawInputDevices to the program's queue, with
// keyboard input, which Wine does deliver.
#include "platform/win32/rawinput/windows_raw_input.h"

#include "base/window.h"
#include "platform/win32/rawinput/raw_input_record.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "platform/win32/rawinput/raw_input_calls.h"
#include "tests/platform/win32/input/recorder.h"

namespace {

using platform::win32::RawInputCalls;
using platform::win32::readRawInputRecord;

// The records the fake GetRawInputData hands out, by handle.
std::map<HRAWINPUT, std::vector<uint8_t>> records;
// A record that grows between the size query and the read.
HRAWINPUT growing = nullptr;

UINT WINAPI fakeGetRawInputData(HRAWINPUT h, UINT command, LPVOID data, PUINT size, UINT header) {
    const auto it = records.find(h);
    if (command != RID_INPUT || header != sizeof(RAWINPUTHEADER) || it == records.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<UINT>(-1);
    }
    const auto& bytes = it->second;
    const auto needed = static_cast<UINT>(bytes.size() + (h == growing && data ? 8 : 0));
    if (!data) {
        *size = needed;
        return 0;
    }
    if (*size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return static_cast<UINT>(-1);
    }
    std::memcpy(data, bytes.data(), bytes.size());
    return static_cast<UINT>(bytes.size());
}

RawInputCalls fakeCalls() {
    RawInputCalls calls;
    calls.getRawInputData = fakeGetRawInputData;
    return calls;
}

// A record as the system lays it out: the header, then for HID the report size, the count and
// the reports.
std::vector<uint8_t> record(DWORD type, std::vector<uint8_t> payload) {
    RAWINPUTHEADER h{};
    h.dwType = type;
    h.dwSize = static_cast<DWORD>(sizeof h + payload.size());
    std::vector<uint8_t> out(sizeof h + payload.size());
    std::memcpy(out.data(), &h, sizeof h);
    if (!payload.empty()) std::memcpy(out.data() + sizeof h, payload.data(), payload.size());
    return out;
}

std::vector<uint8_t> hid(DWORD reportSize, DWORD count, std::vector<uint8_t> reports) {
    std::vector<uint8_t> payload(8);
    std::memcpy(payload.data(), &reportSize, 4);
    std::memcpy(payload.data() + 4, &count, 4);
    payload.insert(payload.end(), reports.begin(), reports.end());
    return record(RIM_TYPEHID, payload);
}

HRAWINPUT handle(uintptr_t n) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the fake call's own handles
    return reinterpret_cast<HRAWINPUT>(n);
}

std::optional<platform::RawInputRecord> read(uintptr_t n) {
    return readRawInputRecord(fakeCalls(), handle(n));
}

TEST(RawInputRecord, AHidRecordGivesItsFirstReportOnly) {
    const std::vector<uint8_t> first = {0x01, 0, 0, 0, 0, 0x00, 0, 0, 0, 0x35};
    std::vector<uint8_t> both = first;
    both.insert(both.end(), {0x08, 4, 0, 0, 0, 0, 0, 0, 0, 0});
    records = {{handle(1), hid(10, 2, both)}, {handle(2), hid(2, 1, {0x08, 0x03})}};
    const auto r = read(1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type, RIM_TYPEHID);
    EXPECT_EQ(r->report, first);
    const auto key = read(2);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->report, (std::vector<uint8_t>{0x08, 0x03}));
}

TEST(RawInputRecord, OtherTypesAndEmptyHidRecordsComeWithoutAReport) {
    records = {{handle(1), record(RIM_TYPEKEYBOARD, std::vector<uint8_t>(16, 0xAA))},
               {handle(2), hid(4, 0, {})}};
    const auto keyboard = read(1);
    ASSERT_TRUE(keyboard);
    EXPECT_EQ(keyboard->type, RIM_TYPEKEYBOARD);
    EXPECT_TRUE(keyboard->report.empty());
    const auto none = read(2);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->type, RIM_TYPEHID);
    EXPECT_TRUE(none->report.empty());
}

TEST(RawInputRecord, MalformedOrUnreadableRecordsAreDropped) {
    growing = handle(5);
    records = {
        {handle(1), hid(12, 1, std::vector<uint8_t>(10, 0x08))},  // the report overruns it
        {handle(2), record(RIM_TYPEHID, {1, 0, 0, 0})},           // no room for the counts
        {handle(3), std::vector<uint8_t>(8, 0)},                  // shorter than a header
        {handle(4), hid(0xFFFFFFF0U, 1, {0x08, 0x01})},           // a size that wraps
        {handle(5), hid(2, 1, {0x08, 0x01})},
    };
    for (uintptr_t n = 1; n <= 5; ++n) EXPECT_FALSE(read(n)) << n;
    EXPECT_FALSE(read(9)) << "a handle the system does not know";
    growing = nullptr;
    EXPECT_TRUE(read(5));
}

// The program's window on this thread, and what reaches its queue.
struct Target {
    base::Window window;
    testsupport::Recorder<base::Message> posted;
    Target() {
        window.queue().setPostObserver([this](const base::Message& m) { posted.add(m); });
    }
    ~Target() { window.queue().setPostObserver({}); }
};

TEST(WindowsRawInput, AReportReachesTheProgramsWindowAndIsReadOnce) {
    records = {{handle(0x77), hid(2, 1, {0x08, 0x04})}, {handle(0x78), hid(3, 1, {0x08})}};
    platform::win32::WindowsRawInput input(fakeCalls());
    Target target;
    ASSERT_NE(input.window(), nullptr);
    EXPECT_FALSE(input.registerDevice(0xFF01, 0x0004, RIDEV_INPUTSINK, nullptr));
    ASSERT_TRUE(input.registerDevice(0xFF01, 0x0004, RIDEV_INPUTSINK, &target.window));

    auto* hwnd = static_cast<HWND>(input.window());
    SendMessageW(hwnd, WM_INPUT, RIM_INPUTSINK, reinterpret_cast<LPARAM>(handle(0x78)));
    SendMessageW(hwnd, WM_INPUT, RIM_INPUTSINK, reinterpret_cast<LPARAM>(handle(0x77)));
    const auto got = target.posted.waitFor(1);
    ASSERT_EQ(got.size(), 1u) << "the malformed record is dropped";
    EXPECT_EQ(got[0].window, &target.window);
    EXPECT_EQ(got[0].message, uint32_t{WM_INPUT});
    EXPECT_EQ(got[0].wParam, base::WPARAM{RIM_INPUTSINK});
    const auto r = input.getRawInputData(got[0].lParam);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->report, (std::vector<uint8_t>{0x08, 0x04}));
    EXPECT_FALSE(input.getRawInputData(got[0].lParam)) << "a record is read once";
}

TEST(WindowsRawInput, KeyboardInputArrivesThroughTheSystemsOwnCalls) {
    platform::win32::WindowsRawInput input;
    Target target;
    // The system refuses a removal that names a window: the failure comes back as false.
    EXPECT_FALSE(input.registerDevice(0x0001, 0x0006, RIDEV_REMOVE, &target.window));
    ASSERT_TRUE(input.registerDevice(0x0001, 0x0006, RIDEV_INPUTSINK, &target.window));
    keybd_event(VK_VOLUME_UP, 0, KEYEVENTF_EXTENDEDKEY, 0);
    keybd_event(VK_VOLUME_UP, 0, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
    const auto got = target.posted.waitFor(2);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[0].message, uint32_t{WM_INPUT});
    const auto r = input.getRawInputData(got[0].lParam);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type, RIM_TYPEKEYBOARD);
    EXPECT_TRUE(r->report.empty());
}

}  // namespace
