// The Core Audio adapter against a stand-in for the system: what Wine cannot show (the master
// level, its failures) and the pairing of COM initialisation with the objects opened.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/audio/core_audio_endpoints.h"
#include "tests/platform/win32/audio/fake_core_audio.h"

namespace {

using platform::win32::CoreAudioEndpoints;

class CoreAudioSeamTest : public ::testing::Test {
protected:
    CoreAudioEndpoints endpoints() {
        return CoreAudioEndpoints(std::make_shared<fakeaudio::FakeCalls>(sys));
    }
    std::unique_ptr<platform::EndpointVolume> defaultVolume() {
        auto e = endpoints().open();
        if (!e) return nullptr;
        auto d = e->defaultRenderEndpoint();
        return d ? d->activate() : nullptr;
    }
    fakeaudio::System sys;
};

TEST_F(CoreAudioSeamTest, LevelAndMuteGoThroughAndFailuresComeBackAsFailures) {
    auto v = defaultVolume();
    ASSERT_TRUE(v);
    float level = -1.0f;
    ASSERT_TRUE(v->getMasterVolumeLevelScalar(level));
    EXPECT_EQ(level, 0.5f);
    EXPECT_TRUE(v->setMasterVolumeLevelScalar(0.58f));
    EXPECT_EQ(sys.level, 0.58f);

    // Wine's stub, and a failure of any other call: never success.
    sys.setLevel = E_NOTIMPL;
    EXPECT_FALSE(v->setMasterVolumeLevelScalar(0.59f));
    sys.getLevel = E_FAIL;
    level = 0.25f;
    EXPECT_FALSE(v->getMasterVolumeLevelScalar(level));
    EXPECT_EQ(level, 0.25f);
    sys.getMute = E_FAIL;
    bool muted = true;
    EXPECT_FALSE(v->getMute(muted));
    sys.setMute = E_FAIL;
    EXPECT_FALSE(v->setMute(true));
    EXPECT_EQ(sys.muted, FALSE);

    // Success codes other than S_OK are success.
    sys.setLevel = S_FALSE;
    sys.setMute = S_FALSE;
    sys.getMute = S_OK;
    EXPECT_TRUE(v->setMasterVolumeLevelScalar(0.6f));
    EXPECT_TRUE(v->setMute(true));
    ASSERT_TRUE(v->getMute(muted));
    EXPECT_TRUE(muted);
}

TEST_F(CoreAudioSeamTest, ComStaysInitialisedUntilTheLastObjectIsReleased) {
    auto e = endpoints().open();
    ASSERT_TRUE(e);
    auto d = e->defaultRenderEndpoint();
    ASSERT_TRUE(d);
    e.reset();
    auto v = d->activate();
    ASSERT_TRUE(v);
    d.reset();
    EXPECT_EQ(sys.initialized, 1);
    v.reset();
    EXPECT_EQ(sys.initialized, 0);
    ASSERT_FALSE(sys.log.empty());
    EXPECT_EQ(sys.log.back(), "uninitialize");
    EXPECT_EQ(std::count(sys.log.begin(), sys.log.end(), "uninitialize"), 1);

    // Already initialised on this thread (S_FALSE) still wants its uninitialisation.
    sys.initialize = S_FALSE;
    sys.log.clear();
    EXPECT_TRUE(endpoints().open());
    EXPECT_EQ(sys.initialized, 0);
    EXPECT_EQ(sys.log.back(), "uninitialize");
}

TEST_F(CoreAudioSeamTest, EveryFailedStepLeavesNothingOpen) {
    // Another apartment model on this thread: nothing was initialised, so nothing is undone.
    sys.initialize = RPC_E_CHANGED_MODE;
    EXPECT_FALSE(endpoints().open());
    EXPECT_TRUE(sys.log.empty());
    sys.initialize = S_OK;

    sys.create = REGDB_E_CLASSNOTREG;
    EXPECT_FALSE(endpoints().open());
    EXPECT_EQ(sys.initialized, 0);
    sys.create = S_OK;

    sys.defaultEndpoint = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    EXPECT_FALSE(defaultVolume());
    sys.defaultEndpoint = S_OK;
    sys.activate = E_NOINTERFACE;
    EXPECT_FALSE(defaultVolume());
    EXPECT_EQ(sys.initialized, 0);
}

TEST_F(CoreAudioSeamTest, EnumerationKeepsOrderAndSkipsWhatCannotBeRead) {
    sys.endpoints = {
        {.formFactor = platform::Headphones},
        {.item = E_FAIL},
        {.store = E_ACCESSDENIED},
        {.value = E_FAIL},
        {.vt = VT_EMPTY, .formFactor = platform::Speakers},
        {.formFactor = platform::SPDIF},
    };
    auto e = endpoints().open();
    ASSERT_TRUE(e);
    auto list = e->activeEndpoints();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 6u);
    EXPECT_EQ((*list)[0]->formFactor(), platform::Headphones);
    EXPECT_EQ((*list)[1], nullptr);
    EXPECT_EQ((*list)[2]->formFactor(), std::nullopt);
    EXPECT_EQ((*list)[3]->formFactor(), std::nullopt);
    EXPECT_EQ((*list)[4]->formFactor(), std::nullopt);
    EXPECT_EQ((*list)[5]->formFactor(), platform::SPDIF);

    sys.count = E_FAIL;
    EXPECT_EQ(e->activeEndpoints(), std::nullopt);
    sys.count = S_OK;
    sys.enumerate = E_OUTOFMEMORY;
    EXPECT_EQ(e->activeEndpoints(), std::nullopt);
}

}  // namespace

namespace fakeaudio {

fakeaudio::System sys;

std::unique_ptr<platform::AudioEndpoints> makeFakeEndpoints() {
    sys = {};
    return std::make_unique<CoreAudioEndpoints>(std::make_shared<fakeaudio::FakeCalls>(sys));
}
float& fakeLevel() {
    return sys.level;
}
void refuseLevels() {
    sys.setLevel = E_NOTIMPL;
}
int fakeInitialisations() {
    return sys.initialized;
}

}  // namespace fakeaudio
