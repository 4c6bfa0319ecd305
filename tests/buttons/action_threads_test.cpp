#include "buttons/action_threads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "app/globals.h"
#include "dispatch/device_events.h"
#include "platform/ports.h"
#include "tests/support/lifelong_window.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Split {
    int ok;
    std::string file, parameters, why;
};
Split split(const std::string& value, std::size_t parametersSize = kParametersSize) {
    Split s;
    s.ok = SplitActionValue(value, s.file, s.parameters, parametersSize, s.why);
    return s;
}

TEST(SplitActionValue, QuotedUnquotedAndBareValues) {
    Split s = split("notepad.exe file.txt");
    EXPECT_EQ(s.ok, 1);
    EXPECT_EQ(s.file, "notepad.exe");
    EXPECT_EQ(s.parameters, "file.txt");

    s = split(R"("/path with space/prog" --flag "two words")");
    EXPECT_EQ(s.file, R"("/path with space/prog")");
    EXPECT_EQ(s.parameters, R"(--flag "two words")");

    s = split("prog  a  b");  // further spaces stay in the parameters
    EXPECT_EQ(s.file, "prog");
    EXPECT_EQ(s.parameters, " a  b");

    s = split("/usr/bin/prog");
    EXPECT_EQ(s.file, "/usr/bin/prog");
    EXPECT_EQ(s.parameters, "");

    // The one character after the closing quote is dropped whatever it is.
    s = split(R"("a b"Xc)");
    EXPECT_EQ(s.file, R"("a b")");
    EXPECT_EQ(s.parameters, "c");
    s = split(R"("a b")");
    EXPECT_EQ(s.parameters, "");
    s = split(R"("a b" )");
    EXPECT_EQ(s.parameters, "");

    s = split(" leading");
    EXPECT_EQ(s.ok, 1);
    EXPECT_EQ(s.file, "");
}

TEST(SplitActionValue, RefusesAnUnclosedQuoteAndPartsTooLongForTheirBuffers) {
    Split s = split(R"("/never closed --flag)");
    EXPECT_EQ(s.ok, 0);
    EXPECT_NE(s.why.find("quote"), std::string::npos);
    EXPECT_TRUE(s.file.empty());

    EXPECT_EQ(split(std::string(516, 'p')).ok, 1);
    EXPECT_EQ(split(std::string(517, 'p')).ok, 0);
    // Characters, not bytes: 516 two-byte characters still fit.
    std::string wide;
    for (int i = 0; i < 516; ++i) wide += "\xC3\xA9";
    EXPECT_EQ(split(wide).ok, 1);

    EXPECT_EQ(split("p " + std::string(1023, 'a')).ok, 1);
    EXPECT_EQ(split("p " + std::string(1024, 'a')).ok, 0);
    EXPECT_EQ(split("p " + std::string(255, 'a'), kDownParametersSize).ok, 1);
    EXPECT_EQ(split("p " + std::string(256, 'a'), kDownParametersSize).ok, 0);
}

class RecordingLauncher final : public platform::Launcher {
public:
    bool launch(const std::string& file, const std::string& parameters) override {
        std::lock_guard lock(m);
        launches.emplace_back(file, parameters);
        return true;
    }
    std::mutex m;
    std::vector<std::pair<std::string, std::string>> launches;
};

class RecordingLog final : public platform::EventLog {
public:
    bool registerSource(const std::string&) override { return true; }
    void reportError(uint32_t id, const std::string& text, uint32_t) override {
        std::lock_guard lock(m);
        entries.emplace_back(id, text);
    }
    void deregisterSource() override {}
    std::mutex m;
    std::vector<std::pair<uint32_t, std::string>> entries;
};

// The three threads run once per process, as in the program; each test presses and releases
// through the events and watches what reaches the window.
class ButtonThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Ports p;
        auto l = std::make_unique<RecordingLauncher>();
        launcher = l.get();
        p.launcher = std::move(l);
        auto g = std::make_unique<RecordingLog>();
        log = g.get();
        p.eventLog = std::move(g);
        platform::installPorts(std::move(p));
        static const bool started = [] {
            CreateVolumeButtonEvents();
            StartButtonActionThreads();
            return true;
        }();
        ASSERT_TRUE(started);
        window = testsupport::lifelongWindow();
        hMainWnd = window;
        window->queue().setPostObserver([this](const base::Message& m) {
            if (m.message != WM_HOTKEY) return;
            std::lock_guard lock(postsMutex);
            posts.emplace_back(m.wParam, Clock::now());
        });
    }
    void TearDown() override {
        window->queue().setPostObserver({});
        hMainWnd = nullptr;
        VolumeMuteButton.set({1, MuteVolume, {}, 0, 0});
        VolumeUpButton.set({1, IncreaseVolume, {}, 1, 30});
        VolumeDownButton.set({1, DecreaseVolume, {}, 1, 30});
        platform::installPorts({});
    }
    // Presses, holds for `hold`, releases; then waits until the thread is idle again.
    Clock::time_point pressFor(const std::atomic<base::Event*>& make,
                               const std::atomic<base::Event*>& release, milliseconds hold) {
        const auto start = Clock::now();
        base::setEvent(make.load());
        std::this_thread::sleep_until(start + hold);
        base::setEvent(release.load());
        settle(make);
        return start;
    }
    // The thread is back waiting for its next press once it blocks on the press event again.
    static void settle(const std::atomic<base::Event*>& make) {
        const auto deadline = Clock::now() + milliseconds(3000);
        while (base::waitingThreads(make.load()) == 0 && Clock::now() < deadline) {
            std::this_thread::yield();
        }
    }
    std::vector<std::pair<uint64_t, Clock::time_point>> takePosts() {
        std::lock_guard lock(postsMutex);
        return std::exchange(posts, {});
    }

    RecordingLauncher* launcher = nullptr;
    RecordingLog* log = nullptr;
    CVESKOSDDlg* window = nullptr;
    std::mutex postsMutex;
    std::vector<std::pair<uint64_t, Clock::time_point>> posts;
};

// Timing test: a one-second hold with a 200 ms interval repeats at about 0, 500, 700, 900 ms.
TEST_F(ButtonThreadTest, HeldButtonRepeatsAfterHalfASecondAtItsInterval) {
    VolumeUpButton.set({1, IncreaseVolume, {}, 1, 200});
    const auto start = pressFor(hVolUpMakeEvent, hVolUpBreakEvent, milliseconds(1000));
    const auto p = takePosts();
    ASSERT_EQ(p.size(), 4u);
    const int expected[4] = {0, 500, 700, 900};
    for (std::size_t i = 0; i < p.size(); ++i) {
        EXPECT_EQ(p[i].first, KT_VOL_UP);
        const auto at = std::chrono::duration_cast<milliseconds>(p[i].second - start).count();
        EXPECT_GE(at, expected[i] - 5) << i;
        EXPECT_LT(at, expected[i] + 150) << i;
    }

    // A press shorter than the first delay performs once.
    pressFor(hVolUpMakeEvent, hVolUpBreakEvent, milliseconds(200));
    EXPECT_EQ(takePosts().size(), 1u);
}

TEST_F(ButtonThreadTest, EachActionPostsItsHotKeyAndNoActionDoesNothing) {
    const std::pair<int32_t, uint64_t> table[] = {{MuteVolume, KT_VOL_MUTE},
                                                  {IncreaseVolume, KT_VOL_UP},
                                                  {DecreaseVolume, KT_VOL_DOWN},
                                                  {IncreaseDisplayBrightness, KT_BRIT_UP},
                                                  {DecreaseDisplayBrightness, KT_BRIT_DOWN},
                                                  {ToggleDisplayOnOff, KT_TOGGLE_LCD}};
    for (const auto& [action, id] : table) {
        VolumeMuteButton.set({1, action, {}, 0, 0});
        pressFor(hVolMuteMakeEvent, hVolMuteBreakEvent, milliseconds(0));
        const auto p = takePosts();
        ASSERT_EQ(p.size(), 1u) << action;
        EXPECT_EQ(p[0].first, id);
    }
    // No action, even held with repeat on, posts nothing.
    VolumeDownButton.set({1, 0, {}, 1, 30});
    pressFor(hVolDownMakeEvent, hVolDownBreakEvent, milliseconds(600));
    EXPECT_TRUE(takePosts().empty());
}

TEST_F(ButtonThreadTest, LaunchSplitsOnceAndARefusalIsLoggedOncePerThread) {
    VolumeMuteButton.set({1, LaunchExecutable, R"("/opt/my tools/prog" --flag "two words")", 0, 0});
    pressFor(hVolMuteMakeEvent, hVolMuteBreakEvent, milliseconds(0));
    {
        std::lock_guard lock(launcher->m);
        ASSERT_EQ(launcher->launches.size(), 1u);
        EXPECT_EQ(launcher->launches[0].first, R"("/opt/my tools/prog")");
        EXPECT_EQ(launcher->launches[0].second, R"(--flag "two words")");
    }

    VolumeDownButton.set({1, LaunchExecutable, R"("/opt/unclosed --flag)", 1, 200});
    pressFor(hVolDownMakeEvent, hVolDownBreakEvent, milliseconds(800));
    pressFor(hVolDownMakeEvent, hVolDownBreakEvent, milliseconds(0));
    // The report is handed to the GUI thread: run what was queued, as its loop would.
    while (window->queue().pending() > 0) {
        base::MessageQueue::Item item;
        ASSERT_TRUE(window->queue().get(item));
        if (item.task) item.task();
    }
    std::lock_guard lock(log->m);
    ASSERT_EQ(log->entries.size(), 1u);
    EXPECT_EQ(log->entries[0].first, EVENT_ACTION_NOT_LAUNCHED);
    EXPECT_NE(log->entries[0].second.find("VolumeDownButton"), std::string::npos);
    std::lock_guard launches(launcher->m);
    EXPECT_EQ(launcher->launches.size(), 1u);
}

}  // namespace
