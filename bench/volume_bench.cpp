// One volume step against a real pulseaudio: a kept connection that follows the server's events,
// one that asks before every step, and a fresh connection per operation.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/globals.h"
#include "audio/volume.h"
#include "platform/linux/pulse/pulse_audio.h"
#include "platform/ports.h"
#include "tests/support/pulse_server.h"

namespace {

void stepBackAndForth(benchmark::State& state, bool keep, bool follow = true) {
    testsupport::PulseServer server;
    server.pactl("set-sink-volume spk 50%");
    resetGlobals();
    MajorVersion = 6;
    platform::Ports p;
    p.audioEndpoints = std::make_unique<platform::linux_adapter::PulseAudioEndpoints>(keep, follow);
    platform::installPorts(std::move(p));
    bool up = true;
    for (auto _ : state) {
        // Alternating keeps the level away from either limit, where nothing would be set.
        const int32_t r = up ? VolumeIn() : VolumeDe();
        if (r != 1) state.SkipWithError("volume step failed");
        up = !up;
    }
    platform::installPorts({});
}

void BM_VolumeStep_KeptConnection(benchmark::State& s) {
    stepBackAndForth(s, true);
}
void BM_VolumeStep_KeptConnectionAskingFirst(benchmark::State& s) {
    stepBackAndForth(s, true, false);
}
void BM_VolumeStep_ConnectionPerOperation(benchmark::State& s) {
    stepBackAndForth(s, false);
}

BENCHMARK(BM_VolumeStep_KeptConnection)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_VolumeStep_KeptConnectionAskingFirst)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_VolumeStep_ConnectionPerOperation)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
