#include "image/image_files.h"
#include "image/image_printing.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "fixtures/recording_communication.h"
#include "image/bmp_bytes.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace {

using kesto::test::BmpBytes;
using kesto::test::BmpLayout;
using kesto::test::ByteVector;
using kesto::test::FileExists;
using kesto::test::RecordingPrinter;
using kesto::test::ImageTempDir;

constexpr const char* kConverted = "/tmp/saved1.bmp";
constexpr const char* kMono = "/tmp/kesto1bpp.bmp";

const std::string kInitRun = std::string("\x1B\x40\x1B\x3D\x01\x1B\x21\x00\x1D\x42\x00", 11) +
                             std::string("\x1B\x52\x00\x1B\x74\x02\x1B\x63\x03\x02\x1B\x63\x04\x00", 14) +
                             std::string("\x1D\x50\xB4\xB4\x1B\x4A\x16\x00\x1B\x4A\x00\x00", 12);

// A 24-bit image whose pixel (x, y) (y = 0 the top row) is black when dark(x, y).
template <typename Dark>
ByteVector Image24(int width, int height, Dark dark) {
    BmpLayout layout;
    layout.width = width;
    layout.height = height;
    const int stride = (width * 3 + 3) & ~3;
    for (int row = height - 1; row >= 0; --row) {  // stored bottom row first
        ByteVector line(static_cast<size_t>(stride), 0);
        for (int x = 0; x < width; ++x) {
            const uint8_t v = dark(x, row) ? 0 : 255;
            line[static_cast<size_t>(x) * 3] = line[static_cast<size_t>(x) * 3 + 1] =
                line[static_cast<size_t>(x) * 3 + 2] = v;
        }
        layout.pixels.insert(layout.pixels.end(), line.begin(), line.end());
    }
    return BmpBytes(layout);
}

// A conversion script that copies a prepared BMP to the fixed converted file.
class ImagePrintingTest : public ::testing::Test {
protected:
    void SetUp() override {
        kesto::SetImageFileDirectoryForTesting(nullptr);  // these tests are about the fixed files
        ::unlink(kConverted);
        ::unlink(kMono);
        script = dir.File("convert.sh");
        WriteScript("#!/bin/sh\ncp \"" + dir.File("source.bmp") + "\" " + kConverted + "\n");
        ::setenv("KESTO_CONVERT_SCRIPT", script.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("KESTO_CONVERT_SCRIPT");
        ::unlink(kConverted);
        ::unlink(kMono);
    }
    void WriteScript(const std::string& text) {
        std::ofstream(script) << text;
        ::chmod(script.c_str(), 0755);
    }
    void Source(const ByteVector& bmp) { dir.Write("source.bmp", bmp); }
    // The bytes after the two init runs: header, raster, feed, initialise.
    std::string Printed() { return printer.Comm().AllBytes(); }

    ImageTempDir dir;
    std::string script;
    RecordingPrinter printer;
};

TEST_F(ImagePrintingTest, TenByTwoImageGivesPaddedRowsWithoutDotsPastTheWidth) {
    Source(Image24(10, 2, [](int x, int) { return x < 5; }));  // left half black
    const int result = KESTO_PrintImage(printer.Handle(), "picture.png");
    EXPECT_EQ(result, 2);
    const std::vector<std::string> writes = printer.Comm().Writes();
    ASSERT_EQ(writes.size(), 4u + 7u + 4u);
    std::string init;
    for (size_t i = 0; i < 11; ++i) init += writes[i];
    EXPECT_EQ(init, kInitRun);
    EXPECT_EQ(writes[11], std::string("\x1D\x76\x30\x00\x04\x00\x02\x00", 8));
    // Pixels 0-4 black (1), 5-9 white (0); the bits past the width and the padding are 0.
    const std::string row("\xF8\x00\x00\x00", 4);
    EXPECT_EQ(writes[12], row + row);
    EXPECT_EQ(writes[13], std::string("\x1B\x4A\x00\x00", 4));
    EXPECT_EQ(writes[14], std::string("\x1B\x40", 2));
    EXPECT_FALSE(FileExists(kConverted));
    EXPECT_FALSE(FileExists(kMono));
    EXPECT_FALSE(g_bPrintInProgress.load());
    EXPECT_TRUE(kesto::test::LogContains("Header is xL=4,xH=0,yL=2,yH=0\n"));
    EXPECT_TRUE(
        kesto::test::LogContains("Command Line to Convert File Name is " + script + "  'picture.png'\n"));
}

TEST_F(ImagePrintingTest, RowOrderIsTopFirstAndHeaderCarriesLargeSizes) {
    Source(Image24(384, 300, [](int, int y) { return y == 0; }));  // only the top row black
    ASSERT_EQ(KESTO_PrintImage(printer.Handle(), "wide.png"), 2);
    const std::vector<std::string> writes = printer.Comm().Writes();
    ASSERT_GE(writes.size(), 13u);
    EXPECT_EQ(writes[11], std::string("\x1D\x76\x30\x00\x30\x00\x2C\x01", 8));
    ASSERT_EQ(writes[12].size(), 14400u);
    EXPECT_EQ(writes[12].substr(0, 48), std::string(48, '\xFF'));
    EXPECT_EQ(writes[12].substr(48), std::string(14400 - 48, '\0'));
}

TEST_F(ImagePrintingTest, WidthThirtyThreeUsesEightByteRows) {
    Source(Image24(33, 1, [](int, int) { return false; }));  // all white
    ASSERT_EQ(KESTO_PrintImage(printer.Handle(), "narrow.png"), 2);
    const std::vector<std::string> writes = printer.Comm().Writes();
    EXPECT_EQ(writes[11], std::string("\x1D\x76\x30\x00\x08\x00\x01\x00", 8));
    // White pixels are 0, and so are the bits past the width.
    EXPECT_EQ(writes[12], std::string(8, '\0'));
}

TEST_F(ImagePrintingTest, ScriptThatWritesNothingSendsNothing) {
    WriteScript("#!/bin/sh\nexit 0\n");
    EXPECT_EQ(KESTO_PrintImage(printer.Handle(), "missing.png"), -1);
    EXPECT_EQ(printer.Comm().WriteCount(), 0u);
    EXPECT_FALSE(g_bPrintInProgress.load());
    EXPECT_TRUE(kesto::test::LogContains("Could not Read From BMPFile /tmp/saved1.bmp\n"));
}

TEST_F(ImagePrintingTest, MissingOrHangingScriptEndsWithMinusOne) {
    ::setenv("KESTO_CONVERT_SCRIPT", dir.File("no-such-script").c_str(), 1);
    EXPECT_EQ(KESTO_PrintImage(printer.Handle(), "x.png"), -1);
    WriteScript("#!/bin/sh\nsleep 30\n");
    ::setenv("KESTO_CONVERT_SCRIPT", script.c_str(), 1);
    kesto::SetConversionTimeoutForTesting(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KESTO_PrintImage(printer.Handle(), "x.png"), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(printer.Comm().WriteCount(), 0u);
    EXPECT_FALSE(g_bPrintInProgress.load());
}

TEST_F(ImagePrintingTest, NoTransportTouchesNoFileAndRunsNoScript) {
    Source(Image24(8, 8, [](int, int) { return true; }));
    const std::string marker = dir.File("ran");
    WriteScript("#!/bin/sh\ntouch \"" + marker + "\"\n");
    std::ofstream(kConverted) << "left";
    RecordingPrinter unreachable(RecordingPrinter::Mode::kCannotConnect);
    EXPECT_EQ(KESTO_PrintImage(unreachable.Handle(), "x.png"), -1);
    EXPECT_EQ(KESTO_PrintImage(nullptr, "x.png"), -1);
    EXPECT_TRUE(FileExists(kConverted));
    EXPECT_FALSE(FileExists(marker));
}

TEST_F(ImagePrintingTest, FileNameIsOneArgumentNeverShellText) {
    const std::string marker = dir.File("pwned");
    const std::string args = dir.File("args");
    WriteScript("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"" + args + "\"\n");
    const std::string hostile = "a' ; touch " + marker + " ; echo '$(touch " + marker + ") b.png";
    EXPECT_EQ(KESTO_PrintImage(printer.Handle(), hostile.c_str()), -1);  // the script wrote no image
    EXPECT_FALSE(FileExists(marker));
    std::ifstream in(args);
    std::string count, first;
    std::getline(in, count);
    std::getline(in, first);
    EXPECT_EQ(count, "1");
    EXPECT_EQ(first, hostile);
}

TEST_F(ImagePrintingTest, LinkPlantedAtTheOneBitFileIsNotFollowed) {
    Source(Image24(8, 1, [](int, int) { return true; }));
    const std::string victim = dir.File("victim");
    std::ofstream(victim) << "precious";
    // Planted between the library's clean-up and its write: the script runs in between.
    WriteScript("#!/bin/sh\ncp \"" + dir.File("source.bmp") + "\" " + kConverted + "\nln -s \"" + victim +
                "\" " + kMono + "\n");
    EXPECT_EQ(KESTO_PrintImage(printer.Handle(), "x.png"), -1);
    std::ifstream in(victim);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "precious");
    EXPECT_EQ(printer.Comm().WriteCount(), 0u);
    EXPECT_FALSE(g_bPrintInProgress.load());
}

TEST_F(ImagePrintingTest, IsBmpSupportedLooksAtDepthAndRowOrder) {
    BmpLayout layout;
    layout.pixels = ByteVector(64, 0);
    layout.bitCount = 4;
    const std::string four = dir.Write("four.bmp", BmpBytes(layout));
    {
        kesto::test::CoutCapture out;
        EXPECT_EQ(KESTO_IsBMPSupported(nullptr, four.c_str()), 0);
        EXPECT_EQ(out.Text(), " Bitmap Format is not supported.4\n");
    }
    layout.bitCount = 24;
    layout.height = -100;
    EXPECT_EQ(KESTO_IsBMPSupported(nullptr, dir.Write("topdown.bmp", BmpBytes(layout)).c_str()), 0);
    EXPECT_TRUE(kesto::test::LogContains("Top Down Image. -100 \n"));
    layout.bitCount = 1;
    layout.height = 50;
    EXPECT_EQ(KESTO_IsBMPSupported(nullptr, dir.Write("mono.bmp", BmpBytes(layout)).c_str()), 1);
    EXPECT_EQ(KESTO_IsBMPSupported(nullptr, dir.File("missing.bmp").c_str()), 0);
    EXPECT_EQ(KESTO_IsBMPSupported(nullptr, nullptr), 0);
    EXPECT_TRUE(kesto::test::LogContains("KESTO_IsBMPSupported\n"));
}

TEST(RasterRows, BitsPastTheWidthAreClearedInEveryRowOnly) {
    std::vector<unsigned char> rows(8, 0xFF);  // two rows of 4 bytes, width 10
    kesto::ClearBitsPastWidth(rows.data(), 10, 2, 4);
    EXPECT_EQ(rows, (std::vector<unsigned char>{0xFF, 0xC0, 0xFF, 0xFF, 0xFF, 0xC0, 0xFF, 0xFF}));
    std::vector<unsigned char> whole(4, 0xFF);
    kesto::ClearBitsPastWidth(whole.data(), 16, 1, 4);
    EXPECT_EQ(whole, std::vector<unsigned char>(4, 0xFF));
}

TEST(RasterHeader, RowBytesAndHeaderFields) {
    EXPECT_EQ(kesto::RasterHeader(300, 70000), std::string("\x1D\x76\x30\x00\x2C\x01\x70\x11", 8));
}

}  // namespace
