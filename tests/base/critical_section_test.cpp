#include "base/critical_section.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(CriticalSection, TryEnterIsRecursiveForTheOwner) {
    base::CriticalSection cs;
    cs.initialize(0x80000400);
    EXPECT_EQ(cs.spinCount(), 0x80000400u);
    ASSERT_TRUE(cs.tryEnter());
    EXPECT_TRUE(cs.tryEnter());
    cs.leave();
    // Still held once: another thread is refused.
    bool other = true;
    std::thread([&] { other = cs.tryEnter(); }).join();
    EXPECT_FALSE(other);
    cs.leave();
    std::thread([&] {
        other = cs.tryEnter();
        if (other) cs.leave();
    }).join();
    EXPECT_TRUE(other);
}

TEST(CriticalSection, TryEnterFromAnotherThreadFailsWhileHeldAndSucceedsAfter) {
    base::CriticalSection cs;
    ASSERT_TRUE(cs.tryEnter());
    std::thread t([&] { EXPECT_FALSE(cs.tryEnter()); });
    t.join();
    EXPECT_FALSE(cs.heldByOtherThread());
    cs.leave();
    std::thread u([&] {
        EXPECT_TRUE(cs.tryEnter());
        cs.leave();
    });
    u.join();
}

TEST(CriticalSection, LeaveByANonOwnerChangesNothing) {
    base::CriticalSection cs;
    ASSERT_TRUE(cs.tryEnter());
    std::thread([&] {
        cs.leave();
        EXPECT_TRUE(cs.heldByOtherThread());
    }).join();
    cs.leave();
}

TEST(CriticalSection, EnterWaitsForTheOwnerToLeave) {
    base::CriticalSection cs;
    ASSERT_TRUE(cs.tryEnter());
    std::atomic<bool> entered{false};
    std::thread t([&] {
        cs.enter();
        entered = true;
        cs.leave();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    cs.leave();
    t.join();
    EXPECT_TRUE(entered.load());
}

}  // namespace
