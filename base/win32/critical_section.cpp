#include "base/critical_section.h"

#include <windows.h>

namespace base {

namespace {

CRITICAL_SECTION* native(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

// The owner as the system records it: the owning thread's id, stored in a handle-sized field.
bool ownedByCaller(const CRITICAL_SECTION* cs) {
    return reinterpret_cast<uintptr_t>(cs->OwningThread) == GetCurrentThreadId();
}

}  // namespace

static_assert(sizeof(CRITICAL_SECTION) <= 40 && alignof(CRITICAL_SECTION) <= 8);

CriticalSection::CriticalSection() : section_{} {
    InitializeCriticalSection(native(section_));
}

CriticalSection::~CriticalSection() {
    DeleteCriticalSection(native(section_));
}

void CriticalSection::initialize(uint32_t spinCount) {
    SetCriticalSectionSpinCount(native(section_), spinCount);
    spinCount_ = spinCount;
    initialized_ = true;
}

bool CriticalSection::initialized() const {
    return initialized_;
}

uint32_t CriticalSection::spinCount() const {
    return spinCount_;
}

bool CriticalSection::tryEnter() {
    return TryEnterCriticalSection(native(section_)) != FALSE;
}

void CriticalSection::enter() {
    EnterCriticalSection(native(section_));
}

// Leaving a section the caller does not own would corrupt it; such a call is ignored.
void CriticalSection::leave() {
    if (ownedByCaller(native(section_))) LeaveCriticalSection(native(section_));
}

bool CriticalSection::heldByOtherThread() const {
    const auto* cs = reinterpret_cast<const CRITICAL_SECTION*>(section_);
    return cs->OwningThread != nullptr && !ownedByCaller(cs);
}

}  // namespace base
