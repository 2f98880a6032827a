// The print confirmation and the printer state against the virtual printer in
// this process: KESTO_WaitPrinted after a short receipt against the same
// receipt followed by a bare round trip (DLE EOT 1 and its answer) on the same
// socket, and KESTO_GetPrinterState while the status thread reads the printer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "kesto/kesto.h"
#include "printer/device_handle.h"
#include "server.h"

namespace {

using kesto::vprinter::Server;
using kesto::vprinter::ServerOptions;

// A virtual printer on a free loopback port and a connected handle to it.
class Printer {
public:
    Printer() : server_(ServerOptions{"127.0.0.1", 0, -1, "", false, {}, {}}) {
        std::string error;
        if (!server_.Start(&error)) throw std::runtime_error(error);
        std::string description =
            "<device><type>ETH</type><path>127.0.0.1:" + std::to_string(server_.port()) + "</path></device>";
        handle_ = KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()));
        if (handle_ == nullptr || KESTO_WriteData(handle_, "\x1b@", 2) != 2)
            throw std::runtime_error("no printer");
    }
    ~Printer() {
        KESTO_DestroyDevicePointer(handle_);
        server_.Stop();
    }
    void* get() const { return handle_; }

private:
    Server server_;
    void* handle_ = nullptr;
};

const char kReceipt[] = "Sale 42   2 x coffee   7.00";

void PrintShortReceipt(void* h) {
    KESTO_PrintText(h, kReceipt, static_cast<int>(sizeof kReceipt - 1), false);
    KESTO_CutPaper(h);
}

void BM_State_WaitPrinted(benchmark::State& state) {
    Printer printer;
    for (auto _ : state) {
        PrintShortReceipt(printer.get());
        if (KESTO_WaitPrinted(printer.get(), 10000) != 1) state.SkipWithError("not confirmed");
    }
}
BENCHMARK(BM_State_WaitPrinted)->Iterations(300)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_State_ReceiptAndRoundTrip(benchmark::State& state) {
    Printer printer;
    Communication* comm = GetCommPtr(printer.get());
    char answer[256];
    for (auto _ : state) {
        PrintShortReceipt(printer.get());
        KESTO_WriteData(printer.get(), "\x10\x04\x01", 3);
        if (comm->Read(answer, 0) != 1) state.SkipWithError("no answer");
    }
}
BENCHMARK(BM_State_ReceiptAndRoundTrip)->Iterations(300)->Unit(benchmark::kMicrosecond)->UseRealTime();

int IgnoreStatus(int) {
    return 0;
}

void BM_State_GetPrinterStateWithStatusThread(benchmark::State& state) {
    Printer printer;
    KESTO_OnPrinterError(printer.get(), IgnoreStatus);
    if (KESTO_CreateStatusThread(printer.get()) != 1) return state.SkipWithError("no status thread");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (KESTO_GetPrinterState(printer.get()) < 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (auto _ : state) benchmark::DoNotOptimize(KESTO_GetPrinterState(printer.get()));
    KESTO_DestroyStatusThread(printer.get());
}
BENCHMARK(BM_State_GetPrinterStateWithStatusThread)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
