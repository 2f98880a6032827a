// The library's own share of KESTO_PrintImage, without the conversion script's
// process, against the in-memory floor: the same pixels thresholded and packed
// to one bit by the plainest loop. Both run for the full receipt-width picture
// (576x2000) and for the size of the demo photo (512x320).
//
// The print part runs the steps KESTO_PrintImage takes once the script has
// left its 24-bit BMP: read it, set one bit per pixel, write the one-bit file,
// load it back, clear the bits past the width and send everything to a
// loopback sink, with the same log entries. It uses files of its own in a
// private folder, so it never meets a real print's fixed files in /tmp.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_picture.h"
#include "image/image_files.h"
#include "image/image_printing.h"
#include "kesto/kesto.h"
#include "loopback_sink.h"
#include "platform/process_state.h"
#include "printer/device_handle.h"

namespace {

using kesto::bench::LoopbackSink;

// A width x height 24-bit picture of grey runs, in memory and as a BMP file.
class Picture {
public:
    Picture(int width, int height)
        : width_(width), height_(height), bgr_(kesto::bench::GreyRuns(width, height)) {
        char temp[] = "/tmp/kesto-image-bench-XXXXXX";
        if (::mkdtemp(temp) == nullptr) throw std::runtime_error("no temporary directory");
        dir_ = temp;
        source_ = dir_ + "/picture.bmp";
        converted_ = dir_ + "/saved1.bmp";
        mono_ = dir_ + "/kesto1bpp.bmp";
        kesto::bench::WriteBmp24(source_, bgr_, width_, height_);
    }
    ~Picture() {
        ::unlink(source_.c_str());
        ::unlink(converted_.c_str());
        ::unlink(mono_.c_str());
        ::rmdir(dir_.c_str());
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    // Bottom-up rows of 3 bytes a pixel, without padding.
    const std::vector<unsigned char>& bgr() const { return bgr_; }
    const std::string& dir() const { return dir_; }
    const std::string& source() const { return source_; }
    const std::string& converted() const { return converted_; }
    const std::string& mono() const { return mono_; }

private:
    int width_;
    int height_;
    std::vector<unsigned char> bgr_;
    std::string dir_, source_, converted_, mono_;
};

using Handle = std::unique_ptr<void, int (*)(void*)>;

// A device handle connected to a loopback sink before timing starts.
Handle Connect(const LoopbackSink& sink) {
    std::string description = sink.Description();
    Handle handle(KESTO_CreateDevicePointer(description.data(), static_cast<int>(description.size())),
                  &KESTO_DestroyDevicePointer);
    if (!handle || KESTO_WriteData(handle.get(), "\x1b@", 2) != 2) {
        throw std::runtime_error("no device on the loopback sink");
    }
    return handle;
}

// What KESTO_PrintImage does after the script, on the picture's own files
// (the library's image files moved into the picture's directory).
int PrintConverted(void* handle) {
    Communication* comm = GetCommPtr(handle);
    if (comm == nullptr) return -1;
    kesto::PrintInProgressScope printing;
    ::unlink(kesto::MonoFile());
    return kesto::PrintConvertedImage(*comm);
}

// A receipt-wide picture and the demo photo's size.
void PictureSizes(benchmark::internal::Benchmark* b) {
    b->Args({576, 2000})->Args({512, 320})->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
}

void BM_ImageLibrary_PrintPart(benchmark::State& state) {
    const Picture picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    LoopbackSink sink;
    const Handle device = Connect(sink);
    kesto::SetImageFileDirectoryForTesting(picture.dir().c_str());
    for (auto _ : state) {
        // The script's share: the 24-bit file appears at the converted name.
        state.PauseTiming();
        ::unlink(picture.converted().c_str());
        const bool placed = ::link(picture.source().c_str(), picture.converted().c_str()) == 0;
        state.ResumeTiming();
        if (!placed || PrintConverted(device.get()) <= 0) {
            state.SkipWithError("print of the converted picture failed");
            break;
        }
    }
}
BENCHMARK(BM_ImageLibrary_PrintPart)->Apply(PictureSizes);

// The floor: threshold and pack the same pixels, already in memory.
void BM_ImageLibrary_Floor(benchmark::State& state) {
    const Picture picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<unsigned char> packed;
    for (auto _ : state) {
        kesto::bench::ThresholdAndPack(picture.bgr(), picture.width(), picture.height(), packed);
        benchmark::DoNotOptimize(packed.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ImageLibrary_Floor)->Apply(PictureSizes);

}  // namespace

BENCHMARK_MAIN();
