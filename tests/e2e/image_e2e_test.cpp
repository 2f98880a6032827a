// Image printing end to end: a PNG goes through the real conversion script and
// the library's raster path, and the virtual printer's paper shows the picture.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zint.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "image/image_files.h"
#include "e2e/e2e_support.h"

namespace kesto::e2e {
namespace {

using vprinter::test::InkIn;

// Runs ImageMagick's convert with `args`; true when it succeeded.
bool Magick(const std::vector<std::string>& args) {
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("convert"));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp("convert", argv.data());
        ::_exit(127);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class ImagePrintingE2E : public ::testing::Test {
protected:
    void SetUp() override {
        kesto::SetImageFileDirectoryForTesting(nullptr);  // the shipped script writes the fixed file
        ASSERT_EQ(::setenv("KESTO_CONVERT_SCRIPT", KESTO_E2E_CONVERT_SCRIPT, 1), 0);
        ASSERT_EQ(::setenv("KESTO_CONVERTER", KESTO_E2E_CONVERTER, 1), 0);
        ASSERT_NE(::mkdtemp(dir), nullptr);
        ASSERT_NE(device.get(), nullptr);
    }
    void TearDown() override {
        for (const std::string& f : files) ::unlink(f.c_str());
        ::rmdir(dir);
    }
    std::string File(const std::string& name) {
        files.push_back(std::string(dir) + "/" + name);
        return files.back();
    }
    // Prints the image, cuts, and returns the receipt.
    Receipt PrintImage(const std::string& path, int expectedResult = 2) {
        EXPECT_EQ(KESTO_PrintImage(device.get(), path.c_str()), expectedResult);
        EXPECT_GT(KESTO_FeedAndCutPaper(device.get()), 0);
        std::vector<Receipt> receipts = printer.WaitForReceipts(1);
        return receipts.empty() ? Receipt{} : receipts.back();
    }

    char dir[64] = "/tmp/kesto-e2e-image-XXXXXX";
    std::vector<std::string> files;
    PrinterServer printer;
    Device device{printer.Description()};
};

TEST_F(ImagePrintingE2E, BlackSquareOnWhitePrintsAsTheSameSquare) {
    // 40 x 30 white, a 16 x 16 black square whose top-left corner is at (8, 6).
    const std::string png = File("square.png");
    ASSERT_TRUE(
        Magick({"-size", "40x30", "xc:white", "-fill", "black", "-draw", "rectangle 8,6 23,21", png}));
    Receipt r = PrintImage(png);

    auto images = SymbolsOfKind(r, "raster image");
    ASSERT_EQ(images.size(), 1u) << r.TranscriptText();
    const auto& img = images[0];
    // Rows of a one-bit image are padded to four bytes: 40 dots become 64.
    EXPECT_EQ(img.width, 64);
    EXPECT_EQ(img.height, 30);
    EXPECT_EQ(img.x, 0);  // the printer was reset: left aligned, no margin
    EXPECT_EQ(InkIn(r.paper, img.x + 8, img.y + 6, 16, 16), 16 * 16);
    EXPECT_EQ(InkIn(r.paper, img.x, img.y, img.width, img.height), 16 * 16) << "ink outside the square";
    EXPECT_EQ(InkIn(r.paper, 0, 0, r.paper.width(), r.paper.height()), 16 * 16)
        << "ink elsewhere on the paper";
}

TEST_F(ImagePrintingE2E, WideImageIsScaledToThePaperWidth) {
    // 1152 x 100: left half black, right half white; the script halves it to 576 dots.
    const std::string png = File("wide.png");
    ASSERT_TRUE(
        Magick({"-size", "1152x100", "xc:white", "-fill", "black", "-draw", "rectangle 0,0 575,99", png}));
    Receipt r = PrintImage(png);

    auto images = SymbolsOfKind(r, "raster image");
    ASSERT_EQ(images.size(), 1u) << r.TranscriptText();
    const auto& img = images[0];
    EXPECT_EQ(img.width, 576);
    EXPECT_EQ(img.height, 50);
    // Black up to the middle, white after it (one column of slack for the edge).
    EXPECT_EQ(InkIn(r.paper, img.x, img.y, 287, img.height), 287 * img.height);
    EXPECT_EQ(InkIn(r.paper, img.x + 289, img.y, 576 - 289, img.height), 0);
}

TEST_F(ImagePrintingE2E, QrCodeOnTransparentBlackScansAfterScalingAndDithering) {
    // 25 modules of 28 dots, 700 wide: scaled to 576, so module edges turn grey
    // and are dithered. Transparent black must come out white, or nothing scans.
    const std::string png = File("qr.png");
    const std::string text = "https://example.com/r/0481";
    zint_symbol* symbol = ZBarcode_Create();
    ASSERT_NE(symbol, nullptr);
    symbol->symbology = BARCODE_QRCODE;
    symbol->scale = 14;
    std::strcpy(symbol->bgcolour, "00000000");
    std::snprintf(symbol->outfile, sizeof symbol->outfile, "%s", png.c_str());
    const int encoded = ZBarcode_Encode_and_Print(symbol, reinterpret_cast<const unsigned char*>(text.data()),
                                                  static_cast<int>(text.size()), 0);
    ZBarcode_Delete(symbol);
    ASSERT_LT(encoded, ZINT_ERROR);
    Receipt r = PrintImage(png);

    auto images = SymbolsOfKind(r, "raster image");
    ASSERT_EQ(images.size(), 1u) << r.TranscriptText();
    EXPECT_EQ(images[0].width, 576);
    EXPECT_EQ(Scan(r, images[0], ZXing::BarcodeFormat::QRCode), text);
}

TEST_F(ImagePrintingE2E, FileThatIsNoImagePrintsNothing) {
    const std::string bogus = File("notes.png");
    std::ofstream(bogus) << "these are not pixels\n";
    EXPECT_EQ(KESTO_PrintImage(device.get(), bogus.c_str()), -1);
    ASSERT_EQ(KESTO_PrintText(device.get(), "after", 5, false), 13);
    EXPECT_GT(KESTO_FeedAndCutPaper(device.get()), 0);
    std::vector<Receipt> receipts = printer.WaitForReceipts(1);
    ASSERT_EQ(receipts.size(), 1u);
    EXPECT_TRUE(receipts[0].symbols.empty()) << receipts[0].TranscriptText();
    EXPECT_EQ(receipts[0].LineTexts(), std::vector<std::string>{"after"});
    EXPECT_FALSE(g_bPrintInProgress.load());
}

}  // namespace
}  // namespace kesto::e2e
