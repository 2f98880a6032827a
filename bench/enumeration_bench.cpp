// KESTO_GetHardwareXML on emulated USB buses: empty, then four printers. The
// umockdev preload is linked first, so libusb sees only the testbed.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "fixtures/fake_usb_printer.h"
#include "kesto/kesto.h"

namespace {

kesto::test::UsbTestbed* g_testbed = nullptr;

void IgnoreHardwareChange(void*) {}

int CountDevices(const std::string& xml) {
    int count = 0;
    for (size_t at = 0; (at = xml.find("<device>", at)) != std::string::npos; ++at) ++count;
    return count;
}

void Enumerate(benchmark::State& state, int printers) {
    void* detector = KESTO_CreateHardwareDetector(IgnoreHardwareChange);
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        const int result = KESTO_GetHardwareXML(detector, buffer.data(), buffer.size());
        if (result < 0) state.SkipWithError("KESTO_GetHardwareXML failed");
    }
    if (CountDevices(buffer.data()) != printers) state.SkipWithError("unexpected printer count");
    KESTO_DestroyHardwareDetector(detector);
}

void BM_Enum_EmptyBus(benchmark::State& state) {
    Enumerate(state, 0);
}
BENCHMARK(BM_Enum_EmptyBus)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void BM_Enum_FourPrinters(benchmark::State& state) {
    static const bool added = [] {
        for (int i = 0; i < 4; ++i) {
            kesto::test::FakeUsbPrinterConfig config;
            config.address = 2 + i;
            config.serial = "K500-000" + std::to_string(i + 1);
            g_testbed->AddPrinter(config);
        }
        return true;
    }();
    (void)added;
    Enumerate(state, 4);
}
BENCHMARK(BM_Enum_FourPrinters)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    // The testbed exists before any libusb context and outlives them all.
    auto testbed = std::make_unique<kesto::test::UsbTestbed>();
    g_testbed = testbed.get();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
