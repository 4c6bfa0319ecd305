// The fade runs in real time; these tests take a few seconds each and allow for scheduling.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "base/thread.h"
#include "tests/osd/osd_fixture.h"

namespace {

using namespace std::chrono;

class FadeTest : public OsdTest {
protected:
    void SetUp() override {
        OsdTest::SetUp();
        CreateOsdEvents();
        // One fade thread per process, as in the program; the named events are shared.
        static std::once_flag started;
        std::call_once(started, StartOsdFadeThread);
        showVolume(50);
        osd->clearAlphas();
    }
    // The sequence of alphas set by the fade thread since `start`, with their offsets in ms.
    std::vector<std::pair<int, long>> since(steady_clock::time_point start) {
        std::vector<std::pair<int, long>> out;
        for (const auto& a : osd->alphas()) {
            out.emplace_back(a.alpha, duration_cast<milliseconds>(a.at - start).count());
        }
        return out;
    }
};

TEST_F(FadeTest, HoldsOneSecondThenStepsDownToZero) {
    const auto start = steady_clock::now();
    StartOSDFadeOut();
    std::this_thread::sleep_for(milliseconds(3600));
    auto seq = since(start);
    ASSERT_EQ(seq.size(), 24u);
    for (std::size_t i = 0; i < seq.size(); ++i) {
        EXPECT_EQ(seq[i].first, 184 - 8 * static_cast<int>(i));
        // Each step 100 ms after the previous one, the first after the one-second hold.
        EXPECT_GE(seq[i].second, 1000 + 100 * static_cast<long>(i) - 5) << i;
        EXPECT_LT(seq[i].second, 1000 + 100 * static_cast<long>(i) + 150) << i;
    }
    EXPECT_EQ(osd->alpha(), 0);
}

TEST_F(FadeTest, AShowWithinTheHoldCancelsTheFade) {
    const auto start = steady_clock::now();
    StartOSDFadeOut();
    std::this_thread::sleep_for(milliseconds(500));
    base::setEvent(hShowOSDEvent.load());
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_TRUE(since(start).empty());
    EXPECT_EQ(osd->alpha(), 192);
}

TEST_F(FadeTest, AShowDuringTheFadeStopsItWhereItIs) {
    const auto start = steady_clock::now();
    StartOSDFadeOut();
    std::this_thread::sleep_for(milliseconds(1350));
    base::setEvent(hShowOSDEvent.load());
    std::this_thread::sleep_for(milliseconds(600));
    auto seq = since(start);
    ASSERT_GE(seq.size(), 2u);
    ASSERT_LE(seq.size(), 6u);
    const uint8_t reached = osd->alpha();
    EXPECT_EQ(reached, seq.back().first);
    EXPECT_GT(reached, 0);
    // The next show restores the full alpha.
    showVolume(51);
    EXPECT_EQ(osd->alpha(), 192);
}

TEST_F(FadeTest, ANewFadeRequestRestartsTheHold) {
    const auto start = steady_clock::now();
    StartOSDFadeOut();
    std::this_thread::sleep_for(milliseconds(600));
    // What a second key press does: cancel, show, and ask for the fade again.
    base::setEvent(hShowOSDEvent.load());
    std::this_thread::sleep_for(milliseconds(20));
    StartOSDFadeOut();
    const auto second = steady_clock::now();
    std::this_thread::sleep_for(milliseconds(1300));
    auto seq = since(start);
    ASSERT_FALSE(seq.empty());
    EXPECT_GE(duration_cast<milliseconds>(osd->alphas().front().at - second).count(), 995);
}

}  // namespace
