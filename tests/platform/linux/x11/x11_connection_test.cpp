// The shared X connection's event thread on a real X server: it sleeps while nothing happens,
// and still hands over events that another thread's call read off the socket.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/linux/x11/x11_connection.h"
#include "tests/platform/linux/x11/x11_fixture.h"
#include "tests/support/process.h"
#include "tests/support/xvfb.h"

namespace {

using namespace std::chrono;
using platform::linux_adapter::X11Connection;

long voluntarySwitches(long tid) {
    return testsupport::procStatusField("/proc/self/task/" + std::to_string(tid) + "/status",
                                        "voluntary_ctxt_switches");
}

template <typename F>
bool eventually(F done, milliseconds limit) {
    const auto deadline = steady_clock::now() + limit;
    while (!done()) {
        if (steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

class X11ConnectionTest : public testsupport::X11Fixture {
protected:
    void SetUp() override {
        X11Fixture::SetUp();
        if (HasFatalFailure()) return;
        x->addEventHandler([this](const XEvent& e) {
            eventThread = syscall(SYS_gettid);
            if (e.type == MapNotify && e.xmap.window == window) ++maps;
        });
        x->startEvents();
    }

    // A window of this connection, mapped; its MapNotify is read off the socket by this
    // thread's sync, not by the event thread.
    void mapWindowAndSync() {
        auto s = x->session();
        ASSERT_TRUE(s);
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.event_mask = StructureNotifyMask;
        window = XCreateWindow(s.display(), s.root(), 0, 0, 10, 10, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect | CWEventMask, &a);
        XMapWindow(s.display(), window);
        XSync(s.display(), False);
    }

    // The window mapped, its MapNotify handed over and the event thread back in its wait: the
    // thread's wake-ups so far, or -1.
    long wakeupsOnceSettled() {
        mapWindowAndSync();
        if (!eventually([&] { return maps == 1; }, milliseconds(2000))) return -1;
        std::this_thread::sleep_for(milliseconds(100));
        return voluntarySwitches(eventThread);
    }

    std::atomic<::Window> window{None};
    std::atomic<int> maps{0};
    std::atomic<long> eventThread{0};
};

TEST_F(X11ConnectionTest, EventsAnotherThreadReadAreHandedOver) {
    mapWindowAndSync();
    EXPECT_TRUE(eventually([&] { return maps == 1; }, milliseconds(2000)));
}

// Timing test: counts the event thread's wake-ups over an idle stretch.
TEST_F(X11ConnectionTest, TheEventThreadSleepsWhileNothingHappens) {
    const long before = wakeupsOnceSettled();
    ASSERT_GE(before, 0);
    std::this_thread::sleep_for(milliseconds(800));  // the idle stretch
    EXPECT_EQ(voluntarySwitches(eventThread), before);
}

// Requests that bring no events, as the keys the daemon types itself, leave it asleep.
TEST_F(X11ConnectionTest, SessionsThatReadNoEventsLeaveTheEventThreadAsleep) {
    const long before = wakeupsOnceSettled();
    ASSERT_GE(before, 0);
    for (int i = 0; i < 20; ++i) {
        auto s = x->session();
        ASSERT_TRUE(s);
        XNoOp(s.display());  // no reply: nothing comes back on the socket either
        XFlush(s.display());
    }
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(voluntarySwitches(eventThread), before);
    // and one that does read an event still hands it over
    {
        auto s = x->session();
        XUnmapWindow(s.display(), window);
        XMapWindow(s.display(), window);
        XSync(s.display(), False);
    }
    EXPECT_TRUE(eventually([&] { return maps == 2; }, milliseconds(2000)));
}

TEST_F(X11ConnectionTest, CloseEndsTheWaitingEventThread) {
    mapWindowAndSync();
    ASSERT_TRUE(eventually([&] { return maps == 1; }, milliseconds(2000)));
    const long tid = eventThread;
    x->close();
    EXPECT_TRUE(eventually([&] { return voluntarySwitches(tid) < 0; }, milliseconds(2000)));
}

}  // namespace
