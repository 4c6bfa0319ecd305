#include "platform/win32/eventlog/event_log.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/eventlog/event_log_calls.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

WindowsEventLog::WindowsEventLog() : calls_(std::make_unique<EventLogCalls>()) {}

WindowsEventLog::WindowsEventLog(const EventLogCalls& calls)
    : calls_(std::make_unique<EventLogCalls>(calls)) {}

WindowsEventLog::~WindowsEventLog() = default;

bool WindowsEventLog::registerSource(const std::string& source) {
    std::lock_guard lock(m_);
    if (source_) calls_->deregister(source_);
    source_ = calls_->registerSource(nullptr, widen(source).c_str());
    if (!source_) {
        std::fprintf(stderr, "veskosd: event source %s: error %lu\n", source.c_str(),
                     GetLastError());
    }
    return source_ != nullptr;
}

void WindowsEventLog::reportError(uint32_t eventId, const std::string& text, uint32_t dataSize) {
    std::lock_guard lock(m_);
    if (!source_) return;
    std::wstring wide = widen(text);
    const wchar_t* strings[] = {wide.c_str()};
    // The terminator belongs to the data.
    const auto available = static_cast<uint32_t>((wide.size() + 1) * sizeof(wchar_t));
    const DWORD size = std::min(dataSize, available);
    if (!calls_->report(source_, EVENTLOG_ERROR_TYPE, 0, eventId, nullptr, 1, size, strings,
                        size ? wide.data() : nullptr)) {
        std::fprintf(stderr, "veskosd: event 0x%08x: error %lu\n", eventId, GetLastError());
    }
}

void WindowsEventLog::deregisterSource() {
    std::lock_guard lock(m_);
    if (source_) calls_->deregister(source_);
    source_ = nullptr;
}

}  // namespace platform::win32
