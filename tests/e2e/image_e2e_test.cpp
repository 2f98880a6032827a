// Image printing through the shipped conversion script and kesto-convert; the
// script writes the fixed /tmp/saved1.bmp (each test runs with a /tmp of its own).
#include <zint.h>

#include <cstring>

#include "image/image_files.h"
#include "tools/virtual-printer/vp_support.h"

namespace kesto::vprinter::test {
namespace {

TEST(ImagePrintingEndToEnd, PicturesComeOutAsDrawnAndAFileThatIsNoImagePrintsNothing) {
    kesto::SetImageFileDirectoryForTesting(nullptr);
    ASSERT_EQ(::setenv("KESTO_CONVERT_SCRIPT", KESTO_CONVERT_SCRIPT, 1), 0);
    ASSERT_EQ(::setenv("KESTO_CONVERTER", KESTO_CONVERTER, 1), 0);
    kesto::test::TempDir dir;
    Bitmap square(40, 30);  // a 16 x 16 black square at (8, 6)
    square.FillRect(8, 6, 16, 16);
    std::string error;
    ASSERT_TRUE(WritePng(dir.path() + "/square.png", square, false, &error)) << error;
    // A QR code of 25 modules of 28 dots on transparent black: scaled to 576 dots and
    // dithered, module edges turn grey; transparent must come out white.
    const std::string url = "https://example.com/r/0481";
    zint_symbol* qr = ZBarcode_Create();
    qr->symbology = BARCODE_QRCODE;
    qr->scale = 14;
    std::strcpy(qr->bgcolour, "00000000");
    std::snprintf(qr->outfile, sizeof qr->outfile, "%s/qr.png", dir.path().c_str());
    ASSERT_LT(ZBarcode_Encode_and_Print(qr, reinterpret_cast<const unsigned char*>(url.c_str()), 0, 0),
              ZINT_ERROR);
    ZBarcode_Delete(qr);
    const std::string notAnImage = dir.Write("notes.png", "these are not pixels\n");

    const std::vector<Receipt> r = PrintOn([&](void* h) {
        EXPECT_EQ(KESTO_PrintImage(h, (dir.path() + "/square.png").c_str()), 2);
        EXPECT_EQ(KESTO_PrintImage(h, notAnImage.c_str()), -1);
        EXPECT_EQ(KESTO_PrintImage(h, (dir.path() + "/qr.png").c_str()), 2);
    });
    ASSERT_TRUE(r.size() == 1 && r[0].symbols.size() == 2) << (r.empty() ? "" : r[0].TranscriptText());
    // Rows of a one-bit image are padded to four bytes: 40 dots wide are sent as 64.
    const PrintedSymbol& s = r[0].symbols[0];
    EXPECT_EQ(std::vector<int>({s.kind == "raster image", s.x, s.width, s.height}),
              std::vector<int>({1, 0, 64, 30}));
    EXPECT_EQ(InkIn(r[0].paper, 8, s.y + 6, 16, 16), 16 * 16);
    EXPECT_EQ(InkIn(r[0].paper, 0, s.y, 576, s.height), 16 * 16);
    EXPECT_EQ(r[0].symbols[1].width, 576);
    EXPECT_EQ(Scan(r[0].paper, r[0].symbols[1], "QR code"), url);
    EXPECT_FALSE(g_bPrintInProgress.load());
}

}  // namespace
}  // namespace kesto::vprinter::test
