// The Core Audio adapter on the system's own calls, as far as Wine carries them: enumeration
// with form factors, the default output, the mute, and COM left as it was found.
#include <objbase.h>

#include <gtest/gtest.h>

#include "platform/win32/audio/core_audio_endpoints.h"

namespace {

using platform::win32::CoreAudioEndpoints;

TEST(CoreAudioOnTheSystem, EnumeratesActiveEndpointsWithTheirFormFactors) {
    CoreAudioEndpoints endpoints;
    auto e = endpoints.open();
    ASSERT_TRUE(e) << "no device enumerator";
    auto list = e->activeEndpoints();
    ASSERT_TRUE(list);
    // The sound server's sinks and sources: outputs are speakers, inputs something else.
    int speakers = 0, others = 0;
    for (auto& d : *list) {
        ASSERT_TRUE(d);
        const auto ff = d->formFactor();
        ASSERT_TRUE(ff);
        EXPECT_LE(*ff, static_cast<uint32_t>(platform::UnknownFormFactor));
        (*ff == platform::Speakers ? speakers : others)++;
    }
    EXPECT_GE(speakers, 1);
    EXPECT_GE(others, 1);
}

TEST(CoreAudioOnTheSystem, DefaultOutputMuteAndLevelAreWhatTheCallsSay) {
    CoreAudioEndpoints endpoints;
    auto e = endpoints.open();
    ASSERT_TRUE(e);
    auto d = e->defaultRenderEndpoint();
    ASSERT_TRUE(d) << "no default output";
    auto v = d->activate();
    ASSERT_TRUE(v);

    bool muted = true;
    ASSERT_TRUE(v->getMute(muted));
    ASSERT_TRUE(v->setMute(!muted));
    bool now = muted;
    ASSERT_TRUE(v->getMute(now));
    EXPECT_EQ(now, !muted);
    ASSERT_TRUE(v->setMute(muted));

    // A set that reports success must have happened, and one that fails must not have; Wine
    // refuses every set, Windows takes it.
    float before = -1.0f, after = -1.0f;
    ASSERT_TRUE(v->getMasterVolumeLevelScalar(before));
    const float wanted = before > 0.5f ? 0.25f : 0.75f;
    const bool set = v->setMasterVolumeLevelScalar(wanted);
    ASSERT_TRUE(v->getMasterVolumeLevelScalar(after));
    EXPECT_FLOAT_EQ(after, set ? wanted : before);
    if (set) v->setMasterVolumeLevelScalar(before);
}

TEST(CoreAudioOnTheSystem, LeavesTheThreadUninitialisedOnceEverythingIsGone) {
    {
        CoreAudioEndpoints endpoints;
        auto e = endpoints.open();
        ASSERT_TRUE(e);
        auto d = e->defaultRenderEndpoint();
        ASSERT_TRUE(d);
        e.reset();
        auto v = d->activate();
        ASSERT_TRUE(v);
    }
    // A thread still in the multithreaded apartment would refuse the other model.
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(hr, S_OK);
    if (SUCCEEDED(hr)) CoUninitialize();
}

}  // namespace
