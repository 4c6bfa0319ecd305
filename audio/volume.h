// The three volume operations and the start-up read. 1 when the operation ran to its end
// (including finding the level already at its limit), 0 when it did not run.
#pragma once

#include <cstdint>

int32_t VolumeMute();
int32_t VolumeIn();
int32_t VolumeDe();

// Start-up: the mute state and level of the volume endpoint, without the lock.
void ReadStartingVolume();

// A scalar level 0.0..1.0 as the whole percentage the user sees.
int32_t VolumePercent(float level);

inline constexpr uint32_t kMixerStep = 655;
inline constexpr uint32_t kMixerTop = 65500;
