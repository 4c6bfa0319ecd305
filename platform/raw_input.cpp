#include "platform/raw_input.h"

namespace platform {

base::LPARAM RawInputRecords::put(RawInputRecord record) {
    std::lock_guard lock(m_);
    const base::LPARAM handle = next_++;
    records_.emplace(handle, std::move(record));
    if (records_.size() > kMaxPending) records_.erase(records_.begin());
    return handle;
}

std::optional<RawInputRecord> RawInputRecords::take(base::LPARAM handle) {
    std::lock_guard lock(m_);
    const auto it = records_.find(handle);
    if (it == records_.end()) return std::nullopt;
    RawInputRecord record = std::move(it->second);
    records_.erase(it);
    return record;
}

}  // namespace platform
