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

#include "image/image_files.h"
#include "image/image_printing.h"
#include "kesto/kesto.h"
#include "platform/process_state.h"
#include "printer/device_handle.h"
#include "loopback_sink.h"

namespace {

using kesto::bench::LoopbackSink;

// A width x height 24-bit picture of grey runs, in memory and as a BMP file.
class Picture {
public:
    Picture(int width, int height) : width_(width), height_(height) {
        bgr_.resize(static_cast<size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const auto grey = static_cast<unsigned char>(((x * 7 + y * 3) ^ ((x * y) >> 6)) & 0xFF);
                unsigned char* px = &bgr_[(static_cast<size_t>(y) * width + x) * 3];
                px[0] = grey;
                px[1] = static_cast<unsigned char>(grey ^ 0x10);
                px[2] = static_cast<unsigned char>(255 - grey);
            }
        }
        char temp[] = "/tmp/kesto-image-bench-XXXXXX";
        if (::mkdtemp(temp) == nullptr) throw std::runtime_error("no temporary directory");
        dir_ = temp;
        source_ = dir_ + "/picture.bmp";
        converted_ = dir_ + "/saved1.bmp";
        mono_ = dir_ + "/kesto1bpp.bmp";
        WriteBmp();
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
    void WriteBmp() const {
        const uint32_t stride = (static_cast<uint32_t>(width_) * 3 + 3) & ~3u;
        const uint32_t pixels = stride * static_cast<uint32_t>(height_);
        std::vector<unsigned char> file;
        auto put = [&file](uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i) file.push_back(static_cast<unsigned char>(value >> (8 * i)));
        };
        put('B' | 'M' << 8, 2);
        put(54 + pixels, 4);
        put(0, 4);
        put(54, 4);
        put(40, 4);
        put(static_cast<uint32_t>(width_), 4);
        put(static_cast<uint32_t>(height_), 4);
        put(1, 2);
        put(24, 2);
        put(0, 4);
        put(pixels, 4);
        put(2835, 4);
        put(2835, 4);
        put(0, 8);
        for (int y = 0; y < height_; ++y) {
            const auto row = bgr_.begin() + static_cast<std::ptrdiff_t>(y) * width_ * 3;
            file.insert(file.end(), row, row + width_ * 3);
            file.resize(file.size() + (stride - width_ * 3), 0);
        }
        std::ofstream(source_, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }

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
    const int width = picture.width();
    const int height = picture.height();
    const int rowBytes = (width + 7) / 8;
    std::vector<unsigned char> packed(static_cast<size_t>(rowBytes) * height);
    for (auto _ : state) {
        std::fill(packed.begin(), packed.end(), 0);
        for (int y = 0; y < height; ++y) {
            const unsigned char* row = &picture.bgr()[static_cast<size_t>(height - 1 - y) * width * 3];
            unsigned char* out = &packed[static_cast<size_t>(y) * rowBytes];
            for (int x = 0; x < width; ++x) {
                const int sum = row[3 * x] + row[3 * x + 1] + row[3 * x + 2];
                if (sum < 3 * 128) out[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
            }
        }
        benchmark::DoNotOptimize(packed.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ImageLibrary_Floor)->Apply(PictureSizes);

}  // namespace

BENCHMARK_MAIN();
