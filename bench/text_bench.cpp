// UTF-8 text to code-table bytes: the encoder alone (bytes out, no transport)
// on the mixed European text that scripts/bench writes and the npm
// codepage encoder reads too (KESTO_BENCH_TEXT names the file).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "escpos/utf8_text.h"

namespace {

// The tables both encoders choose from: the default list without Katakana,
// which the npm encoder lacks.
const std::vector<int> kTables = {0, 2, 3, 4, 5, 14, 16, 17, 18, 19, 33, 34, 45, 46, 47, 51};

std::string Text() {
    const char* path = std::getenv("KESTO_BENCH_TEXT");
    std::ifstream in(path != nullptr ? path : "");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// How many ESC t the bytes hold (ESC never stands in the text).
size_t Switches(const std::string& bytes) {
    size_t n = 0;
    for (size_t at = bytes.find("\x1Bt"); at != std::string::npos; at = bytes.find("\x1Bt", at + 3)) ++n;
    return n;
}

void BM_Text_EncodeMixedEuropean(benchmark::State& state) {
    const std::string text = Text();
    if (text.empty()) {
        state.SkipWithError("no text: KESTO_BENCH_TEXT names none");
        return;
    }
    kesto::TextEncoder encoder(kTables);
    std::string bytes;
    for (auto _ : state) {
        bytes = encoder.Encode(text);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["switches"] = static_cast<double>(Switches(bytes));
    state.counters["text_bytes"] = static_cast<double>(text.size());
    state.counters["bytes_out"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_Text_EncodeMixedEuropean)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
