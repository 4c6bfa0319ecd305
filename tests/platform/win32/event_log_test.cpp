// The event log's calls as the system would get them; Wine's own only pretend to log.
#include "platform/win32/eventlog/event_log.h"

#include <gtest/gtest.h>

#include "platform/win32/eventlog/event_log_calls.h"

#include <memory>
#include <string>
#include <vector>

namespace {

struct Reported {
    HANDLE source;
    WORD type;
    DWORD id;
    std::vector<std::wstring> strings;
    std::vector<uint8_t> data;
};

// One log the fake calls write to; each test starts it afresh.
struct FakeLog {
    std::vector<std::wstring> registered;
    std::vector<Reported> reports;
    std::vector<HANDLE> deregistered;
} fake;

HANDLE WINAPI fakeRegister(LPCWSTR server, LPCWSTR source) {
    if (server) return nullptr;
    fake.registered.emplace_back(source);
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x40 + fake.registered.size()));
}

BOOL WINAPI fakeReport(HANDLE source, WORD type, WORD /*category*/, DWORD id, PSID /*user*/,
                       WORD count, DWORD size, LPCWSTR* strings, LPVOID data) {
    Reported r{source, type, id, {}, {}};
    for (WORD i = 0; i < count; ++i) r.strings.emplace_back(strings[i]);
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size) r.data.assign(bytes, bytes + size);
    fake.reports.push_back(r);
    return TRUE;
}

BOOL WINAPI fakeDeregister(HANDLE source) {
    fake.deregistered.push_back(source);
    return TRUE;
}

std::unique_ptr<platform::win32::WindowsEventLog> makeLog() {
    fake = {};
    return std::make_unique<platform::win32::WindowsEventLog>(
        platform::win32::EventLogCalls{fakeRegister, fakeReport, fakeDeregister});
}

TEST(WindowsEventLog, ReportsErrorsUnderTheRegisteredSourceOnly) {
    auto log = makeLog();
    log->reportError(0xC0020100, "before", 14);
    EXPECT_TRUE(fake.reports.empty());

    ASSERT_TRUE(log->registerSource("VESKOSD"));
    ASSERT_EQ(fake.registered, std::vector<std::wstring>{L"VESKOSD"});
    log->reportError(0xC0020102, "not well-formed", 32);
    ASSERT_EQ(fake.reports.size(), 1u);
    const Reported& r = fake.reports[0];
    EXPECT_EQ(r.type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(r.id, 0xC0020102u);
    EXPECT_EQ(r.strings, std::vector<std::wstring>{L"not well-formed"});
    // The text in UTF-16 with its terminator: 16 characters, 32 bytes.
    ASSERT_EQ(r.data.size(), 32u);
    EXPECT_EQ(r.data[0], 'n');
    EXPECT_EQ(r.data[30], 0);
    EXPECT_EQ(r.data[31], 0);

    log->deregisterSource();
    EXPECT_EQ(fake.deregistered, std::vector<HANDLE>{r.source});
    log->reportError(0xC0020103, "after", 12);
    EXPECT_EQ(fake.reports.size(), 1u);
}

TEST(WindowsEventLog, RawDataNeverReadsPastTheText) {
    auto log = makeLog();
    ASSERT_TRUE(log->registerSource("VESKOSD"));
    log->reportError(0xC0020101, "ab", 1000);
    log->reportError(0xC0020101, "ab", 0);
    ASSERT_EQ(fake.reports.size(), 2u);
    EXPECT_EQ(fake.reports[0].data.size(), 6u);
    EXPECT_TRUE(fake.reports[1].data.empty());
}

}  // namespace
