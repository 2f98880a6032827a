// Benchmarks of the driver against baselines measured in the same run:
// image printing, per-command cost, bulk writes and the status thread's idle
// CPU. scripts/bench runs each group in a process of its own and turns the
// results into ratios.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench_picture.h"
#include "kesto/kesto.h"
#include "loopback_sink.h"

namespace {

using kesto::bench::LoopbackSink;

constexpr int kImageWidth = 576;
constexpr int kImageHeight = 2000;

// A device handle on a loopback sink, connected before timing starts.
class Device {
public:
    explicit Device(const LoopbackSink& sink) {
        std::string description = sink.Description();
        handle_ = KESTO_CreateDevicePointer(description.data(), static_cast<int>(description.size()));
        if (handle_ == nullptr || KESTO_WriteData(handle_, "\x1b@", 2) != 2) {
            throw std::runtime_error("no device on the loopback sink");
        }
    }
    ~Device() { KESTO_DestroyDevicePointer(handle_); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    void* get() const { return handle_; }

private:
    void* handle_ = nullptr;
};

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() { ::close(fd_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The test picture: grey levels that make a mix of black and white runs.
struct Picture {
    std::vector<unsigned char> bgr;  // bottom-up rows, 3 bytes a pixel, no padding at this width
    std::string dir;
    std::string bmpPath;
    std::string scriptPath;
    Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    ~Picture() {
        ::unlink(bmpPath.c_str());
        ::unlink(scriptPath.c_str());
        ::rmdir(dir.c_str());
    }
};

Picture::Picture() : bgr(kesto::bench::GreyRuns(kImageWidth, kImageHeight)) {
    char temp[] = "/tmp/kesto-bench-XXXXXX";
    if (::mkdtemp(temp) == nullptr) throw std::runtime_error("no temporary directory");
    dir = temp;
    bmpPath = dir + "/picture.bmp";
    scriptPath = dir + "/copy.sh";
    kesto::bench::WriteBmp24(bmpPath, bgr, kImageWidth, kImageHeight);
    std::ofstream(scriptPath) << "#!/bin/sh\ncp \"$1\" /tmp/saved1.bmp\n";
    ::chmod(scriptPath.c_str(), 0755);
}

const Picture& ThePicture() {
    static const Picture picture;
    return picture;
}

// ---- image ----

void BM_Image_PrintImage(benchmark::State& state) {
    const Picture& picture = ThePicture();
    ::setenv("KESTO_CONVERT_SCRIPT", picture.scriptPath.c_str(), 1);
    LoopbackSink sink;
    Device device(sink);
    for (auto _ : state) {
        const int result = KESTO_PrintImage(device.get(), picture.bmpPath.c_str());
        if (result <= 0) {
            state.SkipWithError("KESTO_PrintImage failed");
            break;
        }
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_kib"] = static_cast<double>(usage.ru_maxrss);
}
BENCHMARK(BM_Image_PrintImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// What the copy-only conversion script alone costs (spawn, sh, cp of the
// 3.4 MB file): the part of the image figure outside the library.
void BM_Image_ScriptOnly(benchmark::State& state) {
    const Picture& picture = ThePicture();
    for (auto _ : state) {
        char* const argv[] = {const_cast<char*>(picture.scriptPath.c_str()),
                              const_cast<char*>(picture.bmpPath.c_str()), nullptr};
        pid_t child = 0;
        int status = 0;
        if (::posix_spawn(&child, argv[0], nullptr, nullptr, argv, environ) != 0 ||
            ::waitpid(child, &status, 0) != child || status != 0) {
            state.SkipWithError("script failed");
            break;
        }
    }
    ::unlink("/tmp/saved1.bmp");
}
BENCHMARK(BM_Image_ScriptOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// The floor: threshold and pack the same pixels with the plainest loop.
void BM_Image_ThresholdFloor(benchmark::State& state) {
    const Picture& picture = ThePicture();
    std::vector<unsigned char> packed;
    for (auto _ : state) {
        kesto::bench::ThresholdAndPack(picture.bgr, kImageWidth, kImageHeight, packed);
        benchmark::DoNotOptimize(packed.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Image_ThresholdFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// ---- conversion script: the shipped one against the ImageMagick-only one ----

std::string SourceFile(const char* path) {
    return std::string(KESTO_BENCH_SOURCE_DIR) + "/" + path;
}

// The photo and the logo that scripts/bench makes in KESTO_BENCH_PICTURES.
std::string MadePicture(const char* name) {
    const char* dir = std::getenv("KESTO_BENCH_PICTURES");
    return dir != nullptr ? std::string(dir) + "/" + name : std::string();
}

// Runs `script` on `picture` outside the library and returns the share of
// black dots in the BMP it writes, in percent (-1 when there is none).
double BlackPercent(const std::string& script, const std::string& picture) {
    char* const argv[] = {const_cast<char*>(script.c_str()), const_cast<char*>(picture.c_str()), nullptr};
    pid_t child = 0;
    int status = 0;
    if (::posix_spawn(&child, argv[0], nullptr, nullptr, argv, environ) != 0 ||
        ::waitpid(child, &status, 0) != child || status != 0) {
        return -1;
    }
    std::ifstream in("/tmp/saved1.bmp", std::ios::binary);
    const std::vector<unsigned char> bmp((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    ::unlink("/tmp/saved1.bmp");
    auto le = [&](size_t at) { return bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | bmp[at + 3] << 24; };
    if (bmp.size() < 54 || bmp[28] != 24) return -1;
    const long width = le(18), height = std::labs(le(22)), rowBytes = (width * 3 + 3) & ~3L;
    if (static_cast<size_t>(le(10) + rowBytes * height) > bmp.size()) return -1;
    long black = 0;
    for (long y = 0; y < height; ++y) {
        const unsigned char* px = &bmp[static_cast<size_t>(le(10) + y * rowBytes)];
        for (long x = 0; x < width; ++x, px += 3) black += px[0] + px[1] + px[2] < 3 * 128;
    }
    return 100.0 * static_cast<double>(black) / static_cast<double>(width * height);
}

// KESTO_PrintImage of `picture` through `script` to the sink, as a sale prints its logo.
void PrintThroughScript(benchmark::State& state, const std::string& script, const std::string& picture) {
    if (std::string(KESTO_BENCH_CONVERTER).empty() || picture.empty() ||
        ::access(picture.c_str(), R_OK) != 0) {
        state.SkipWithError("no kesto-convert or no picture: run scripts/bench");
        return;
    }
    ::setenv("KESTO_CONVERT_SCRIPT", script.c_str(), 1);
    ::setenv("KESTO_CONVERTER", KESTO_BENCH_CONVERTER, 1);
    LoopbackSink sink;
    Device device(sink);
    for (auto _ : state) {
        if (KESTO_PrintImage(device.get(), picture.c_str()) <= 0) {
            state.SkipWithError("KESTO_PrintImage failed");
            return;
        }
    }
    state.counters["black_percent"] = BlackPercent(script, picture);
}

const char* const kNewScript = "tools/convert/Convert.sh";
const char* const kOldScript = "tools/convert/Convert-imagemagick.sh";

// BM_Convert_<picture>New and ...Old: each picture through the shipped script and the old one.
const bool kConversionRowsRegistered = [] {
    struct Row {
        const char* name;
        const char* picture;
        bool made;  // made by scripts/bench rather than kept in the sources
    };
    for (const Row& row :
         {Row{"Sample", "tools/demo/sample-photo.jpg", false}, Row{"Photo", "photo-3000x2000.jpg", true},
          Row{"Logo", "logo-800x300.png", true}}) {
        for (const auto& [suffix, script] : {std::pair{"New", kNewScript}, std::pair{"Old", kOldScript}}) {
            const std::string name = std::string("BM_Convert_") + row.name + suffix;
            benchmark::RegisterBenchmark(
                name.c_str(),
                [row, script = script](benchmark::State& state) {
                    PrintThroughScript(state, SourceFile(script),
                                       row.made ? MadePicture(row.picture) : SourceFile(row.picture));
                })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MinTime(0.5);
        }
    }
    return true;
}();

// ---- per-command cost ----

constexpr int kCommands = 10000;

void BM_Command_SetLeftAllign10k(benchmark::State& state) {
    LoopbackSink sink;
    Device device(sink);
    for (auto _ : state) {
        for (int i = 0; i < kCommands; ++i) benchmark::DoNotOptimize(SetLeftAllign(device.get()));
    }
}
BENCHMARK(BM_Command_SetLeftAllign10k)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void BM_Command_RawSend10k(benchmark::State& state) {
    LoopbackSink sink;
    Socket client(sink.Connect());
    const char command[3] = {0x1B, 0x61, 0x00};
    for (auto _ : state) {
        for (int i = 0; i < kCommands; ++i) {
            if (::send(client.fd(), command, sizeof command, MSG_NOSIGNAL) != 3) state.SkipWithError("send");
        }
    }
}
BENCHMARK(BM_Command_RawSend10k)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// What every command must do by design: two log entries, each one open, write
// and close of the log file, and the send itself. Entries of the library's length.
void BM_Command_LogAndSend10k(benchmark::State& state) {
    LoopbackSink sink;
    Socket client(sink.Connect());
    const char command[3] = {0x1B, 0x61, 0x00};
    const std::string entries[2] = {"Mon Dec  7 10:04:21 2026 ==> Ethernet::Write 3 Bytes of socket data\n",
                                    "Mon Dec  7 10:04:21 2026 ==> Ethernet Total Bytes Written 3\n"};
    for (auto _ : state) {
        for (int i = 0; i < kCommands; ++i) {
            for (const std::string& entry : entries) {
                const int fd =
                    ::open("/tmp/kestoDebugLog.log", O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
                if (fd < 0 || ::write(fd, entry.data(), entry.size()) < 0) state.SkipWithError("log");
                ::close(fd);
            }
            if (::send(client.fd(), command, sizeof command, MSG_NOSIGNAL) != 3) state.SkipWithError("send");
        }
    }
}
BENCHMARK(BM_Command_LogAndSend10k)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// ---- bulk ----

constexpr size_t kChunk = 1 << 20;
constexpr int kChunks = 64;

void BM_Bulk_WriteData64M(benchmark::State& state) {
    LoopbackSink sink;
    Device device(sink);
    const std::vector<char> chunk(kChunk, 'x');
    for (auto _ : state) {
        for (int i = 0; i < kChunks; ++i) {
            if (KESTO_WriteData(device.get(), chunk.data(), static_cast<int>(kChunk)) !=
                static_cast<int>(kChunk)) {
                state.SkipWithError("short write");
            }
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChunks * kChunk);
}
BENCHMARK(BM_Bulk_WriteData64M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void BM_Bulk_RawSend64M(benchmark::State& state) {
    LoopbackSink sink;
    Socket client(sink.Connect());
    const std::vector<char> chunk(kChunk, 'x');
    for (auto _ : state) {
        for (int i = 0; i < kChunks; ++i) {
            if (!SendAll(client.fd(), chunk.data(), kChunk)) state.SkipWithError("send");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChunks * kChunk);
}
BENCHMARK(BM_Bulk_RawSend64M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// ---- status thread ----

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int IgnoreStatus(int) {
    return 0;
}

// The process's CPU over the window while this thread sleeps: in effect the
// status thread's, as the sink has nothing to read.
void StatusThreadCpu(benchmark::State& state, bool printing) {
    const auto window = std::chrono::seconds(
        std::getenv("KESTO_BENCH_STATUS_SECONDS") ? std::atoi(std::getenv("KESTO_BENCH_STATUS_SECONDS")) : 3);
    LoopbackSink sink;
    Device device(sink);
    KESTO_OnPrinterError(device.get(), IgnoreStatus);
    if (KESTO_CreateStatusThread(device.get()) != 1) {
        state.SkipWithError("no status thread");
        return;
    }
    g_bPrintInProgress = printing;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // past the first poll
    double percent = 0;
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(window);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        percent = 100.0 * (ProcessCpuSeconds() - before) / wall;
    }
    g_bPrintInProgress = false;
    KESTO_DestroyStatusThread(device.get());
    state.counters["cpu_percent"] = percent;
    state.counters["window_s"] = static_cast<double>(window.count());
}

void BM_Status_SilentPrinter(benchmark::State& state) {
    StatusThreadCpu(state, false);
}
BENCHMARK(BM_Status_SilentPrinter)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_Status_StandingBack(benchmark::State& state) {
    StatusThreadCpu(state, true);
}
BENCHMARK(BM_Status_StandingBack)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
