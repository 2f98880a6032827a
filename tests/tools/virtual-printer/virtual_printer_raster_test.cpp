// GS v 0 raster images reach the paper bit for bit, in every size mode, and the
// written PNG holds exactly the paper.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "server.h"
#include "virtual_printer.h"
#include "virtual_printer_helpers.h"

namespace kesto::vprinter {
namespace {

using test::Gs;

struct Raster {
    int bytes_wide, height;
    std::string data;
    bool Dot(int x, int y) const {
        return (static_cast<uint8_t>(data[static_cast<size_t>(y) * bytes_wide + x / 8]) &
                (0x80 >> (x % 8))) != 0;
    }
    std::string Command(int mode) const {
        return Gs('v', {'0', mode, bytes_wide & 0xFF, bytes_wide >> 8, height & 0xFF, height >> 8}) + data;
    }
};

Raster RandomRaster(int bytes_wide, int height, unsigned seed) {
    std::mt19937 rng(seed);
    Raster r{bytes_wide, height, {}};
    for (int i = 0; i < bytes_wide * height; ++i) r.data += static_cast<char>(rng() & 0xFF);
    return r;
}

TEST(VirtualPrinterRaster, ImageIsReproducedBitForBitBelowTheText) {
    Raster img = RandomRaster(13, 37, 7);
    VirtualPrinter p;
    p.Feed("above\n" + img.Command(0) + Gs('V', {0}));
    ASSERT_EQ(p.receipts().size(), 1u);
    const Receipt& r = p.receipts()[0];
    const int top = 30;  // one line of text at the default spacing
    ASSERT_EQ(r.paper.height(), top + 37);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < r.paper.width(); ++x)
            ASSERT_EQ(r.paper.Get(x, top + y), x < 104 && img.Dot(x, y)) << "x=" << x << " y=" << y;
    ASSERT_EQ(r.symbols.size(), 1u);
    EXPECT_EQ(r.symbols[0].kind, "raster image");
    EXPECT_EQ(r.symbols[0].width, 104);
}

TEST(VirtualPrinterRaster, SizeModesScaleEveryDot) {
    Raster img = RandomRaster(3, 5, 11);
    for (int mode : {1, 2, 3, 49, 50, 51}) {
        int sx = (mode & 1) ? 2 : 1, sy = (mode & 2) ? 2 : 1;
        VirtualPrinter p;
        p.Feed(img.Command(mode));
        p.EndOfStream();
        const Bitmap& paper = p.receipts().at(0).paper;
        ASSERT_EQ(paper.height(), 5 * sy) << "mode " << mode;
        for (int y = 0; y < 5 * sy; ++y)
            for (int x = 0; x < 24 * sx; ++x)
                ASSERT_EQ(paper.Get(x, y), img.Dot(x / sx, y / sy))
                    << "mode " << mode << " x=" << x << " y=" << y;
    }
}

TEST(VirtualPrinterRaster, AlignmentMovesTheImageAndWideImagesAreClipped) {
    Raster img = RandomRaster(2, 4, 3);
    img.data.assign(8, '\xFF');
    VirtualPrinter p;
    p.Feed(test::Esc('a', {2}) + img.Command(0) + test::Esc('a', {0}) + RandomRaster(80, 2, 5).Command(0));
    p.EndOfStream();
    const Receipt& r = p.receipts().at(0);
    EXPECT_EQ(test::InkIn(r.paper, 560, 0, 16, 4), 64);
    EXPECT_EQ(test::InkIn(r.paper, 0, 0, 560, 4), 0);
    // 640 dots wide on 576-dot paper: the part past the edge is dropped.
    EXPECT_EQ(r.paper.width(), 576);
    EXPECT_EQ(r.paper.height(), 6);
}

TEST(VirtualPrinterRaster, PngHoldsThePaperAndADashedCutLine) {
    Raster img = RandomRaster(10, 20, 19);
    VirtualPrinter p;
    p.Feed(img.Command(0) + Gs('V', {1}));
    const Receipt& r = p.receipts().at(0);
    char dir[] = "/tmp/vprinter-png-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string error;
    ASSERT_TRUE(WriteReceiptFiles(dir, r, &error)) << error;
    test::GreyImage png = test::ReadPng(std::string(dir) + "/receipt-1.png");
    ASSERT_EQ(png.width, 576);
    ASSERT_GT(png.height, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 576; ++x)
            ASSERT_EQ(png.px[static_cast<size_t>(y) * 576 + x], r.paper.Get(x, y) ? 0 : 255);
    // Below the paper a dashed line marks the cut: grey and white alternate.
    bool dashed = false;
    for (int y = 20; y < png.height; ++y) {
        const uint8_t* row = &png.px[static_cast<size_t>(y) * 576];
        if (row[0] != row[8] && row[0] < 200) dashed = true;
    }
    EXPECT_TRUE(dashed);
    std::string txt = std::string(dir) + "/receipt-1.txt";
    FILE* f = std::fopen(txt.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[200] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "GS v 0: raster image 80 x 20 dots\n");
    std::fclose(f);
    unlink((std::string(dir) + "/receipt-1.png").c_str());
    unlink(txt.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace kesto::vprinter
