// The OSD's hold and fade as seen from outside. A timing test: it samples the running daemon's
// alpha against the wall clock, with margins of a few hundred milliseconds for a loaded machine.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Sample {
    milliseconds at;  // since the second press
    int alpha;
};

TEST(FadeE2E, ASecondPressDuringTheHoldRestartsItAndTheFadeRunsItsStepsOnce) {
    e2e::Daemon d({"--machine", "sim", "--osd", "headless"});
    const std::string volumeUp = R"({"op":"post","message":786,"wParam":261,"lParam":0})"
                                 "\n";
    ASSERT_NE(d.raw(volumeUp).find("true"), std::string::npos);
    std::this_thread::sleep_for(milliseconds(500));
    ASSERT_NE(d.raw(volumeUp).find("true"), std::string::npos);
    const auto second = Clock::now();

    std::vector<Sample> samples;
    while (Clock::now() - second < milliseconds(4300)) {
        const int alpha = d.status()["osd"]["alpha"].get<int>();
        samples.push_back({std::chrono::duration_cast<milliseconds>(Clock::now() - second), alpha});
    }
    ASSERT_GT(samples.size(), 40u);

    int previous = 192;
    milliseconds firstFaded{-1}, reachedZero{-1};
    for (const Sample& s : samples) {
        if (s.at < milliseconds(900)) {
            EXPECT_EQ(s.alpha, 192) << "at " << s.at.count() << " ms after the second press";
        }
        EXPECT_EQ(s.alpha % 8, 0) << s.alpha;
        // Once fading, the bar never comes back: nothing shows it again.
        EXPECT_LE(s.alpha, previous) << "at " << s.at.count() << " ms";
        if (s.alpha < 192 && firstFaded.count() < 0) firstFaded = s.at;
        if (s.alpha == 0 && reachedZero.count() < 0) reachedZero = s.at;
        previous = s.alpha;
    }
    ASSERT_GE(firstFaded.count(), 0) << "never faded";
    ASSERT_GE(reachedZero.count(), 0) << "never reached 0";
    EXPECT_GE(firstFaded, milliseconds(950));
    EXPECT_LT(firstFaded, milliseconds(1600));
    // 23 steps of 100 ms from 184 down to 0.
    EXPECT_GE(reachedZero - firstFaded, milliseconds(2000));
    EXPECT_LT(reachedZero - firstFaded, milliseconds(3000));
    EXPECT_EQ(samples.back().alpha, 0);
}

}  // namespace
