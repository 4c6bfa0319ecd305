// The three volume buttons' action threads: a press performs the configured action once and,
// with auto-repeat, again after 500 ms and then every AutoRepeatInterval until the release.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/event.h"
#include "buttons/configuration.h"

extern std::atomic<base::Event*> hVolMuteMakeEvent;
extern std::atomic<base::Event*> hVolMuteBreakEvent;
extern std::atomic<base::Event*> hVolUpMakeEvent;
extern std::atomic<base::Event*> hVolUpBreakEvent;
extern std::atomic<base::Event*> hVolDownMakeEvent;
extern std::atomic<base::Event*> hVolDownBreakEvent;

// Buffer sizes, terminator included.
inline constexpr std::size_t kProgramFileSize = 517;
inline constexpr std::size_t kParametersSize = 1024;
inline constexpr std::size_t kDownParametersSize = 256;

inline constexpr uint32_t EVENT_ACTION_NOT_LAUNCHED = 0xC0020104;
inline constexpr uint32_t kFirstRepeatDelayMs = 500;

// Mute make and break, up make and break, down make and break, in that order.
void CreateVolumeButtonEvents();
// ThreadVMFunction, ThreadVUFunction, ThreadVDFunction, in that order.
void StartButtonActionThreads();

void ThreadVMFunction();
void ThreadVUFunction();
void ThreadVDFunction();

// Splits `actionValue` into a program file (a leading quoted part keeps its quotes) and its
// parameters. 1 when both fit buffers of kProgramFileSize and `parametersSize` characters;
// 0 with `why` set when a quote is never closed or a part does not fit.
int SplitActionValue(const std::string& actionValue, std::string& programFile,
                     std::string& parameters, std::size_t parametersSize, std::string& why);
