// Barcodes, two-dimensional codes, text and formatting sent through the
// library's exported calls arrive on the virtual printer as a scanner and a
// reader of the receipt would see them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace kesto::e2e {
namespace {

using ZXing::BarcodeFormat;

class ThroughTheLibraryE2E : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(device.get(), nullptr); }

    // Cuts the paper and returns the receipt it finished.
    Receipt CutAndCollect() {
        EXPECT_GT(KESTO_FeedAndCutPaper(device.get()), 0);
        std::vector<Receipt> receipts = printer.WaitForReceipts(1);
        return receipts.empty() ? Receipt{} : receipts.back();
    }

    int Barcode(int type, const std::string& data) {
        return KESTO_PrintBarcode(device.get(), type, data.data(), static_cast<int>(data.size()));
    }

    PrinterServer printer;
    Device device{printer.Description()};
};

TEST_F(ThroughTheLibraryE2E, BarcodesAndTwoDimensionalCodesScanBackToTheirData) {
    // Long enough that the store command's length needs its high byte.
    std::string longText;
    for (int i = 0; longText.size() < 1000; ++i)
        longText += "item " + std::to_string(i) + " = " + std::to_string(i * 7) + "; ";
    longText.resize(1000);

    EXPECT_EQ(Barcode(260, "400638133393"), 0);  // the printer adds the check digit
    EXPECT_EQ(Barcode(265, "{BKesto-128/x"), 0);
    EXPECT_EQ(Barcode(272, longText), 0);
    EXPECT_EQ(Barcode(273, "PDF417 through the library"), 0);
    Receipt r = CutAndCollect();

    ASSERT_EQ(r.symbols.size(), 4u) << r.TranscriptText();
    EXPECT_EQ(r.symbols[0].kind, "EAN-13");
    EXPECT_EQ(Scan(r, r.symbols[0], BarcodeFormat::EAN13), "4006381333931");
    EXPECT_EQ(r.symbols[1].kind, "CODE128");
    EXPECT_EQ(Scan(r, r.symbols[1], BarcodeFormat::Code128), "Kesto-128/x");
    EXPECT_EQ(r.symbols[2].kind, "QR code");
    EXPECT_EQ(r.symbols[2].text.size(), 1000u);
    EXPECT_EQ(Scan(r, r.symbols[2], BarcodeFormat::QRCode), longText);
    EXPECT_EQ(r.symbols[3].kind, "PDF417");
    EXPECT_EQ(Scan(r, r.symbols[3], BarcodeFormat::PDF417), "PDF417 through the library");

    // Every code is drawn at the barcode set-up's print position (45 motion units).
    for (const auto& s : r.symbols) EXPECT_GT(s.x, 0) << s.kind;
    EXPECT_EQ(r.TranscriptText().find("refused"), std::string::npos) << r.TranscriptText();
}

TEST_F(ThroughTheLibraryE2E, DataTooLongForTheLengthByteIsRefusedBeforeAnythingIsSent) {
    // A CODE128 header carries one length byte: 300 bytes cannot be described.
    EXPECT_EQ(Barcode(265, "{B" + std::string(298, 'k')), -1);
    EXPECT_EQ(Barcode(264, std::string(256, '7')), -1);
    ASSERT_EQ(KESTO_PrintText(device.get(), "still here", 10, false), 18);
    Receipt r = CutAndCollect();
    EXPECT_TRUE(r.symbols.empty());
    EXPECT_EQ(r.TranscriptText().find("GS k"), std::string::npos) << r.TranscriptText();
    EXPECT_EQ(r.LineTexts(), std::vector<std::string>{"still here"});
}

TEST_F(ThroughTheLibraryE2E, PrintedTextLandsInTheModelInFontA) {
    // Formatting set before KESTO_PrintText does not survive its reset.
    SelectCharFontB(device.get());
    SetRightAllign(device.get());
    const std::string first = "Hello, printer";
    const std::string second = "Second line: 2 x 3.50 = 7.00";
    ASSERT_EQ(KESTO_PrintText(device.get(), first.c_str(), static_cast<int>(first.size()), false),
              static_cast<int>(first.size()) + 8);
    ASSERT_EQ(KESTO_PrintText(device.get(), second.c_str(), static_cast<int>(second.size()), false),
              static_cast<int>(second.size()) + 8);
    Receipt r = CutAndCollect();

    ASSERT_EQ(r.LineTexts(), (std::vector<std::string>{first, second}));
    for (const auto& line : r.lines) {
        EXPECT_EQ(line.style().font, vprinter::Font::kA) << line.text;
        EXPECT_EQ(line.align, vprinter::Align::kLeft) << line.text;
        EXPECT_EQ(line.x, 0) << line.text;
        EXPECT_EQ(line.height, 24) << line.text;
        EXPECT_FALSE(line.style().bold) << line.text;
    }
    EXPECT_GT(r.lines[1].y, r.lines[0].y);
}

TEST_F(ThroughTheLibraryE2E, LongTextArrivesWhole) {
    std::string text;
    for (int i = 0; text.size() < 1500; ++i) text += static_cast<char>('A' + i % 26);
    ASSERT_EQ(KESTO_PrintText(device.get(), text.c_str(), static_cast<int>(text.size()), false),
              static_cast<int>(text.size()) + 8);
    Receipt r = CutAndCollect();
    std::string printed;
    for (const auto& line : r.lines) printed += line.text;
    EXPECT_EQ(printed, text);
    EXPECT_GT(r.lines.size(), 1u);  // wrapped at the paper's edge
}

TEST_F(ThroughTheLibraryE2E, FormattingCallsChangeHowTheFollowingTextPrints) {
    void* h = device.get();
    SelectCharFontADoubleHeight(h);
    SetCenterAllign(h);
    TurnBoldON(h);
    PrintText(h, "Big news");
    LineFeed(h);
    CancelDoubleHeight(h);
    TurnBoldOFF(h);
    PrintText(h, "centred, plain");
    LineFeed(h);
    SetLeftAllign(h);
    SelectCharFontB(h);
    PrintText(h, "small print");
    LineFeed(h);
    Receipt r = CutAndCollect();

    ASSERT_EQ(r.LineTexts(), (std::vector<std::string>{"Big news", "centred, plain", "small print"}));
    const auto& big = r.lines[0];
    EXPECT_EQ(big.style().font, vprinter::Font::kA);
    EXPECT_EQ(big.style().height_mag, 2);
    EXPECT_EQ(big.style().width_mag, 1);
    EXPECT_TRUE(big.style().bold);
    EXPECT_EQ(big.align, vprinter::Align::kCenter);
    EXPECT_EQ(big.height, 48);
    EXPECT_EQ(big.x, (576 - big.width) / 2);

    const auto& centred = r.lines[1];
    EXPECT_EQ(centred.style().height_mag, 1);
    EXPECT_FALSE(centred.style().bold);
    EXPECT_EQ(centred.align, vprinter::Align::kCenter);

    const auto& small = r.lines[2];
    EXPECT_EQ(small.style().font, vprinter::Font::kB);
    EXPECT_EQ(small.align, vprinter::Align::kLeft);
    EXPECT_EQ(small.x, 0);
    EXPECT_EQ(small.height, 18);
}

}  // namespace
}  // namespace kesto::e2e
