// KESTO_PrintImage: an outside script converts the image to a BMP, which is
// reduced to one bit per pixel and sent as one GS v 0 raster image.
#include "image/image_printing.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

#include "escpos/command_bytes.h"
#include "escpos/command_table.h"
#include "escpos/init_sequences.h"
#include "image/bitmap_file_reader.h"
#include "image/bmp_format.h"
#include "image/bmp_image.h"
#include "image/image_files.h"
#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "platform/process_state.h"
#include "printer/device_handle.h"

extern char** environ;

namespace {

constexpr const char* kInstalledScript = "/Volumes/VIZADAZEVUdiDizevezizov/scripts/Convert.sh";
using kesto::MonoFile;
using kesto::SavedFile;

// A photo of a few megapixels converts in seconds; a script that hangs must not hang the host.
std::atomic<long long> g_conversionTimeoutMs{60000};

// Reaps the child once it ends; false when the deadline passed first. Where the
// kernel hands out a descriptor for the process, the wait wakes the moment it
// ends (a conversion takes a few milliseconds, and a logo prints with every sale).
bool WaitForExit(pid_t child, std::chrono::steady_clock::time_point deadline) {
    int status = 0;
#if defined(SYS_pidfd_open)
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    if (pidfd >= 0) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd exited{pidfd, POLLIN, 0};
            const int ready = ::poll(&exited, 1, std::max<int>(0, static_cast<int>(left.count()) + 1));
            if (ready < 0 && errno == EINTR) continue;
            if (ready == 0 && std::chrono::steady_clock::now() < deadline) continue;
            break;
        }
        ::close(pidfd);
    }
#endif
    // Without a process descriptor (or to reap after one): look often at first,
    // then every 5 ms, so a quick script is not kept waiting for a whole pause.
    auto pause = std::chrono::microseconds(100);
    while (true) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
}

// Runs the script with the file name as its one argument, without a shell.
// Waits for it at most the conversion time-out; a script still running then is killed.
void RunConversionScript(const std::string& script, const char* fileName) {
    char* const argv[] = {const_cast<char*>(script.c_str()), const_cast<char*>(fileName), nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, script.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        DebugPrint("Conversion script %s could not be started. Error Code %d\n", script.c_str(), spawned);
        return;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(g_conversionTimeoutMs.load());
    if (WaitForExit(child, deadline)) return;
    DebugPrint("Conversion script did not end in time: stopped\n");
    int status = 0;
    ::kill(-child, SIGKILL);  // its own process group: the script and what it started
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

namespace kesto {

int PrintConvertedImage(Communication& comm) {
    const char* const savedFile = SavedFile();
    const char* const monoFile = MonoFile();
    std::unique_ptr<BMP> image(new BMP);
    if (!image->ReadFromFile(savedFile)) {
        DebugPrint("Could not Read From BMPFile %s\n", savedFile);
        return -1;
    }
    DebugPrint("KESTO_PrintImage File Name %s\n", savedFile);
    DebugPrint("KESTO_PrintImage BMP Bit Depth %d\n", image->TellBitDepth());
    if (image->TellBitDepth() < 16) {
        DebugPrint("CreateGrayscaleColorTable\n");
        CreateGrayscaleColorTable(*image);
    }
    image->SetBitDepth(1);
    if (!image->WriteToFile(monoFile)) {
        DebugPrint("Could not Write BMPFile %s\n", monoFile);
        return -1;
    }
    const int height = image->TellHeight();
    const int width = image->TellWidth();

    BitmapFileReader reader(monoFile);
    const int rowBytes = static_cast<int>(kesto::RowStride(width, 1));
    const long long expected = static_cast<long long>(rowBytes) * height;
    if (reader.GetImageSize() != expected) {
        DebugPrint("Could not Read From BMPFile %s\n", monoFile);
        return -1;
    }
    std::unique_ptr<unsigned char[]> rows(reader.LoadBMP());
    if (!rows) {
        DebugPrint("Could not Read From BMPFile %s\n", monoFile);
        return -1;
    }
    kesto::ClearBitsPastWidth(rows.get(), width, height, rowBytes);
    const std::string header = kesto::RasterHeader(rowBytes, height);
    DebugPrint("Header is xL=%d,xH=%d,yL=%d,yH=%d\n", static_cast<unsigned char>(header[4]),
               static_cast<unsigned char>(header[5]), static_cast<unsigned char>(header[6]),
               static_cast<unsigned char>(header[7]));

    SendInitCommand(&comm);
    SendInitCommand2(&comm);
    kesto::Send(comm, header);
    kesto::Send(comm, kesto::ByteView(reinterpret_cast<const char*>(rows.get()),
                                      static_cast<size_t>(reader.GetImageSize())));
    kesto::Send(comm, Set_Feed_unit[1]);
    const int result = kesto::Send(comm, Initilize_Printer[0]);
    ::unlink(savedFile);
    return result;
}

std::string RasterHeader(int rowBytes, int height) {
    return Bytes(
        {0x1D, 0x76, 0x30, 0x00, LowByte(rowBytes), HighByte(rowBytes), LowByte(height), HighByte(height)});
}

void ClearBitsPastWidth(unsigned char* rows, int width, int height, int rowBytes) {
    if (rows == nullptr || width <= 0 || width % 8 == 0) return;
    const int last = (width - 1) / 8;
    const unsigned char keep = static_cast<unsigned char>(0xFF << (8 - width % 8));
    for (int row = 0; row < height; ++row) rows[static_cast<size_t>(row) * rowBytes + last] &= keep;
}

std::string ConversionScriptPath() {
    const char* overridden = std::getenv("KESTO_CONVERT_SCRIPT");
    return overridden != nullptr && overridden[0] != '\0' ? overridden : kInstalledScript;
}

void SetConversionTimeoutForTesting(std::chrono::milliseconds timeout) {
    g_conversionTimeoutMs = timeout.count();
}

}  // namespace kesto

extern "C" {

KESTO_API int KESTO_PrintImage(void* handle, const char* fileName) {
    return kesto::WithPrinter(handle, [&](Communication& comm) {
        kesto::PrintInProgressScope printing;  // cleared on every way out
        ::unlink(SavedFile());
        ::unlink(MonoFile());
        if (fileName == nullptr) return -1;

        const std::string script = kesto::ConversionScriptPath();
        char commandLine[256];
        std::snprintf(commandLine, sizeof commandLine, "%s  '%s'", script.c_str(), fileName);
        DebugPrint("Command Line to Convert File Name is %s\n", commandLine);
        RunConversionScript(script, fileName);
        return kesto::PrintConvertedImage(comm);
    });
}

KESTO_API int KESTO_IsBMPSupported(void* /*handle*/, const char* fileName) {
    return kesto::Guarded(0, [&] {
        DebugPrint("KESTO_IsBMPSupported\n");
        if (fileName == nullptr || ::access(fileName, R_OK) != 0) return 0;
        const BMIH header = GetBMIH(fileName);
        const int bits = header.biBitCount;
        if (bits != 1 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
            std::cout << " Bitmap Format is not supported." << bits << std::endl;
            DebugPrint("Bitmap Format is not supported. %d \n", bits);
            return 0;
        }
        const int height = static_cast<int>(header.biHeight);
        if (height < 0) {
            DebugPrint("Top Down Image. %d \n", height);
            return 0;
        }
        return 1;
    });
}

}  // extern "C"
