// The Core Audio adapter on a stand-in system, for tests that cannot see the system's headers
// (the core's own names clash with them).
#pragma once

#include <memory>

#include "platform/audio.h"

namespace fakeaudio {

// A fresh stand-in: level 0.5, every call succeeding.
std::unique_ptr<platform::AudioEndpoints> makeFakeEndpoints();
float& fakeLevel();
// Every later set of the level fails as Wine's does (E_NOTIMPL).
void refuseLevels();
int fakeInitialisations();

}  // namespace fakeaudio
