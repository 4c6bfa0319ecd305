// Access to the volume controls for the length of one operation.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/audio.h"
#include "platform/mixer.h"

// Open between a successful COMInit and its COMUninit; owned by whoever holds
// VolumeCriticalSection (or by the start-up read, before anyone else can run).
extern std::unique_ptr<platform::EndpointVolume> EndpointVolume;
// The speaker line with its volume and mute controls (the mixer path's handle and both
// control descriptions in one).
extern std::unique_ptr<platform::SpeakerLine> m_hMixer;

// bSPDIFEndpoint 0: the volume endpoint; 1: the first active S/PDIF endpoint. 1 when open,
// 0 with everything left closed.
int32_t COMInit(int32_t bSPDIFEndpoint);
int32_t COMUninit();
