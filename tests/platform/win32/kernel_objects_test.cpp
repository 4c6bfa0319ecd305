// The runtime's events and critical sections are the system's own objects: what another process
// or a driver does to them through the system's calls, the program sees, and the other way round.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "base/critical_section.h"
#include "base/event.h"

namespace {

// As a driver gets it: a number.
HANDLE kernelHandle(const base::Event* e) {
    const auto value = static_cast<uintptr_t>(base::eventHandleValue(e));
    return reinterpret_cast<HANDLE>(value);  // NOLINT(performance-no-int-to-ptr)
}

TEST(KernelEvents, ANamedEventIsTheSystemObjectOfThatName) {
    base::Event* e = base::createEvent(false, false, "VESKOSD TEST MORV EVENT");
    ASSERT_NE(e, nullptr);
    HANDLE other = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"VESKOSD TEST MORV EVENT");
    ASSERT_NE(other, nullptr);
    SetEvent(other);
    EXPECT_EQ(base::waitForSingleObject(e, 2000), base::kWaitObject0);
    EXPECT_FALSE(base::isSignalled(e));
    CloseHandle(other);
}

// The firmware driver may make its event first; opening it by name keeps the creator's mode.
TEST(KernelEvents, AnEventMadeOutsideIsOpenedWithItsOwnResetMode) {
    HANDLE outside = CreateEventW(nullptr, TRUE, FALSE, L"VESKOSD TEST DRIVER EVENT");
    ASSERT_NE(outside, nullptr);
    EXPECT_NE(base::openEvent("VESKOSD TEST DRIVER EVENT"), nullptr);
    base::Event* e = base::createEvent(false, false, "VESKOSD TEST DRIVER EVENT");
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(base::isManualReset(e));
    base::setEvent(e);
    EXPECT_EQ(WaitForSingleObject(outside, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(outside, 0), WAIT_OBJECT_0);
    CloseHandle(outside);
}

// The value handed to the driver is a handle it can signal.
TEST(KernelEvents, TheHandleValueSignalsTheEventAndNamesItBack) {
    base::Event* e = base::createEvent(false, false);
    ASSERT_NE(base::eventHandleValue(e), 0u);
    EXPECT_EQ(base::eventFromHandleValue(base::eventHandleValue(e)), e);
    EXPECT_EQ(base::eventFromHandleValue(0), nullptr);
    ASSERT_TRUE(SetEvent(kernelHandle(e)));
    EXPECT_TRUE(base::isSignalled(e));
    EXPECT_TRUE(base::isSignalled(e));  // looking does not consume it
    EXPECT_EQ(base::waitForSingleObject(e, 0), base::kWaitObject0);
    EXPECT_EQ(WaitForSingleObject(kernelHandle(e), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// The kernel does not say who waits; the count must still drop at the set that released the
// waiter, not only once that thread runs again, or "idle again" would be seen too early.
TEST(KernelEvents, AWaiterASetReleasedNoLongerCountsAsWaiting) {
    for (const bool manual : {false, true}) {
        base::Event* e = base::createEvent(manual, false);
        std::thread waiter([e] { base::waitForSingleObject(e, 5000); });
        while (base::waitingThreads(e) == 0) std::this_thread::yield();
        base::setEvent(e);
        EXPECT_EQ(base::waitingThreads(e), 0u) << (manual ? "manual" : "auto");
        waiter.join();
        EXPECT_EQ(base::waitingThreads(e), 0u);
    }
}

TEST(KernelCriticalSection, HeldByTheSystemsOwnerRecord) {
    base::CriticalSection cs;
    cs.initialize(0x80000400);
    ASSERT_TRUE(cs.tryEnter());
    EXPECT_FALSE(cs.heldByOtherThread());
    bool refused = false;
    bool seenHeld = false;
    std::thread([&] {
        refused = !cs.tryEnter();
        seenHeld = cs.heldByOtherThread();
    }).join();
    EXPECT_TRUE(refused);
    EXPECT_TRUE(seenHeld);
    cs.leave();
    std::thread([&] { seenHeld = cs.heldByOtherThread(); }).join();
    EXPECT_FALSE(seenHeld);
}

}  // namespace
