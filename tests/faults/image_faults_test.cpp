// The image conversion script missing or hanging: KESTO_PrintImage fails in
// bounded time, sends nothing, leaves no process behind and clears the
// print-in-progress flag; a working script afterwards prints normally.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "faults/fault_helpers.h"
#include "fixtures/fake_tcp_printer.h"
#include "image/bmp_bytes.h"
#include "image/image_printing.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace {

using kesto::test::BmpBytes;
using kesto::test::BmpLayout;
using kesto::test::DeviceHandle;
using kesto::test::EthDescription;
using kesto::test::FakeTcpPrinter;
using kesto::test::FileExists;
using kesto::test::TempDir;
using kesto::test::Timed;
using kesto::test::WaitUntil;
using std::chrono::milliseconds;

constexpr const char* kConverted = "/tmp/saved1.bmp";
constexpr const char* kMono = "/tmp/kesto1bpp.bmp";

// Gone, or a zombie nobody has reaped yet: either way no longer running.
bool ProcessEnded(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    std::string line;
    std::getline(stat, line);
    const size_t paren = line.rfind(')');
    return paren == std::string::npos || line.compare(paren + 2, 1, "Z") == 0;
}

pid_t ReadPid(const std::string& path) {
    std::ifstream in(path);
    long pid = 0;
    in >> pid;
    return static_cast<pid_t>(pid);
}

class ConversionFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ::unlink(kConverted);
        ::unlink(kMono);
        script = dir.File("convert.sh");
        ::setenv("KESTO_CONVERT_SCRIPT", script.c_str(), 1);
        kesto::SetConversionTimeoutForTesting(milliseconds(300));
    }
    void TearDown() override {
        kesto::SetConversionTimeoutForTesting(milliseconds(60000));
        ::unsetenv("KESTO_CONVERT_SCRIPT");
        ::unlink(kConverted);
        ::unlink(kMono);
    }
    void WriteScript(const std::string& text) {
        std::ofstream(script) << text;
        ::chmod(script.c_str(), 0755);
    }
    // Prints, and checks the failure: -1, nothing sent, no flag, no files left.
    void ExpectFailedPrint(FakeTcpPrinter& printer, void* handle) {
        int result = 0;
        const milliseconds took = Timed([&] { result = KESTO_PrintImage(handle, "receipt-logo.png"); });
        EXPECT_EQ(result, -1);
        EXPECT_LT(took, milliseconds(10000));
        EXPECT_FALSE(g_bPrintInProgress.load());
        EXPECT_FALSE(FileExists(kConverted));
        EXPECT_FALSE(FileExists(kMono));
        EXPECT_TRUE(kesto::test::LogContains("Could not Read From BMPFile /tmp/saved1.bmp\n"));
        std::this_thread::sleep_for(milliseconds(100));
        EXPECT_EQ(printer.ReceivedSize(), 0u);
        EXPECT_EQ(KESTO_GetLastError(handle), 0);
    }

    TempDir dir;
    std::string script;
};

TEST_F(ConversionFaults, MissingScriptSendsNothingAndTheNextPrintWorks) {
    FakeTcpPrinter printer;
    DeviceHandle device(EthDescription(printer.Path()));
    ::setenv("KESTO_CONVERT_SCRIPT", dir.File("no-such-script").c_str(), 1);
    ExpectFailedPrint(printer, device.get());

    // With a script that converts, the same handle prints: an 8 x 1 black image.
    BmpLayout layout;
    layout.width = 8;
    layout.height = 1;
    layout.pixels.assign(24, 0);  // 8 black pixels of 3 bytes: a row already a multiple of 4
    dir.Write("logo.bmp", BmpBytes(layout));
    WriteScript("#!/bin/sh\ncp \"" + dir.File("logo.bmp") + "\" " + kConverted + "\n");
    ::setenv("KESTO_CONVERT_SCRIPT", script.c_str(), 1);
    EXPECT_EQ(KESTO_PrintImage(device.get(), "logo.png"), 2);
    EXPECT_FALSE(g_bPrintInProgress.load());
    const std::string raster = std::string("\x1D\x76\x30\x00\x04\x00\x01\x00", 8) +
                               std::string("\xFF\x00\x00\x00", 4) +
                               std::string("\x1B\x4A\x00\x00\x1B\x40", 6);
    ASSERT_TRUE(WaitUntil([&] {
        const std::string received = printer.Received();
        return received.size() >= raster.size() &&
               received.compare(received.size() - raster.size(), raster.size(), raster) == 0;
    }));
}

TEST_F(ConversionFaults, HangingScriptIsStoppedWithEverythingItStarted) {
    FakeTcpPrinter printer;
    DeviceHandle device(EthDescription(printer.Path()));
    const std::string scriptPid = dir.File("script.pid");
    const std::string childPid = dir.File("child.pid");
    WriteScript("#!/bin/sh\necho $$ > \"" + scriptPid + "\"\nsleep 30 &\necho $! > \"" + childPid +
                "\"\nwait\n");
    ExpectFailedPrint(printer, device.get());
    EXPECT_TRUE(kesto::test::LogContains("Conversion script did not end in time: stopped\n"));
    const pid_t shell = ReadPid(scriptPid);
    const pid_t sleeper = ReadPid(childPid);
    ASSERT_GT(shell, 0);
    ASSERT_GT(sleeper, 0);
    EXPECT_TRUE(ProcessEnded(shell));
    EXPECT_TRUE(WaitUntil([&] { return ProcessEnded(sleeper); })) << "the script's child still runs";
}

}  // namespace
