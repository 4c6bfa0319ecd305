// One whole OSD paint as the program does it on every show: all images reloaded from the
// resources and decoded, the frame composed off-screen with Cairo and handed to the window.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/globals.h"
#include "app/veskosd_dlg.h"
#include "osd/osd_window.h"
#include "platform/headless_osd.h"
#include "platform/linux/cairo/cairo_graphics.h"
#include "platform/ports.h"

namespace {

void paint(benchmark::State& state, bool muted) {
    platform::Ports p;
    p.osdSurface = std::make_unique<platform::HeadlessOsd>();
    p.graphics = std::make_unique<platform::linux_adapter::CairoGraphics>();
    platform::installPorts(std::move(p));
    CVESKOSDDlg dlg;
    hMainWnd = &dlg;
    registerOsdHandlers();
    PrepareOSDWindow();
    bOSDShowVolume = 1;
    VolumeCount = 57;
    szVolumeCount = "57";
    fVolumeMute = muted ? 1 : 0;
    dlg.WindowProc(WM_PAINT, 0, 0);  // the first paint also places the window
    for (auto _ : state) dlg.WindowProc(WM_PAINT, 0, 0);
    hMainWnd = nullptr;
    platform::installPorts({});
}

void BM_OsdPaint_Volume(benchmark::State& s) {
    paint(s, false);
}
void BM_OsdPaint_Muted(benchmark::State& s) {
    paint(s, true);
}

BENCHMARK(BM_OsdPaint_Volume)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_OsdPaint_Muted)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
