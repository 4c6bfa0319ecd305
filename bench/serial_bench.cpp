// One whole transfer against the simulated controller, which answers at once but keeps the
// line's pace: a 10-byte frame at 9600 baud takes about 10.4 ms each way.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/globals.h"
#include "app/veskosd_dlg.h"
#include "platform/linux/serial/termios_serial.h"
#include "platform/ports.h"
#include "platform/sim/display_controller.h"
#include "serial/uart.h"
#include "tests/support/process.h"

namespace {

void BM_SerialTransfer(benchmark::State& state) {
    const std::string dir = testsupport::makeTempDir("veskosd-bench");
    platform::sim::SimDisplayController controller(dir + "/tty");
    std::string error;
    if (!controller.start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    bOSDModel = 0;
    VESKOSDUARTSendCriticalSection.initialize(0x80000400);
    platform::Ports p;
    p.serialPorts =
        std::make_unique<platform::linux_adapter::TermiosSerialPorts>(controller.path());
    platform::installPorts(std::move(p));
    CVESKOSDDlg dlg;
    hMainWnd = &dlg;
    OpenUARTDevice();
    CreateUARTEvents();
    StartUARTThreads();
    for (auto _ : state) {
        if (SendUARTRequest(2, LockMode::TryOnce) != RequestResult::Completed) {
            state.SkipWithError("transfer did not complete");
            break;
        }
    }
    CloseUARTDevice();
    hMainWnd = nullptr;
    testsupport::removeTree(dir);
}

BENCHMARK(BM_SerialTransfer)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
