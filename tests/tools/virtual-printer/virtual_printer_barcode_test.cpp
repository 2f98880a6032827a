// Codes drawn by the virtual printer scan back to their data, at the module
// sizes the printer was told; data a printer would refuse is not printed.
#include <gtest/gtest.h>
#include <unistd.h>

#include "server.h"
#include "virtual_printer.h"
#include "virtual_printer_helpers.h"

namespace kesto::vprinter {
namespace {

using test::BarcodeLen;
using test::BarcodeNul;
using test::Gs;
using ZXing::BarcodeFormat;

// Prints `bytes` as one receipt, writes its PNG and scans it.
std::string PrintAndScan(const std::string& bytes, BarcodeFormat format, Receipt* out = nullptr) {
    VirtualPrinter p;
    p.Feed(bytes + Gs('V', {0}));
    EXPECT_EQ(p.receipts().size(), 1u);
    if (p.receipts().empty()) return "<no receipt>";
    const Receipt& r = p.receipts()[0];
    if (out) *out = r;
    char dir[] = "/tmp/vprinter-scan-XXXXXX";
    if (!mkdtemp(dir)) return "<no temp dir>";
    std::string error;
    std::string png = std::string(dir) + "/receipt-1.png";
    bool written = WriteReceiptFiles(dir, r, &error);
    test::GreyImage img = test::ReadPng(png);
    unlink(png.c_str());
    unlink((std::string(dir) + "/receipt-1.txt").c_str());
    rmdir(dir);
    if (!written || img.width == 0) return "<no png: " + error + ">";
    ZXing::Result result = test::Decode(img, format);
    return result.isValid() ? result.text() : "<unreadable>";
}

TEST(VirtualPrinterBarcode, QrCodeScansBackAtTheToldModuleSize) {
    const std::string data = "https://kesto.example/receipt/42?total=5.60";
    Receipt r;
    EXPECT_EQ(PrintAndScan(test::QrCode(data, 5), BarcodeFormat::QRCode, &r), data);
    ASSERT_EQ(r.symbols.size(), 1u);
    EXPECT_EQ(r.symbols[0].kind, "QR code");
    EXPECT_EQ(r.symbols[0].text, data);
    EXPECT_EQ(r.symbols[0].width % 5, 0);
    EXPECT_EQ(r.symbols[0].width, r.symbols[0].height);
}

TEST(VirtualPrinterBarcode, Pdf417ScansBack) {
    const std::string data = "PDF417 receipt 0001, total 5.60 EUR";
    Receipt r;
    EXPECT_EQ(PrintAndScan(test::Pdf417(data), BarcodeFormat::PDF417, &r), data);
    ASSERT_EQ(r.symbols.size(), 1u);
    EXPECT_EQ(r.symbols[0].kind, "PDF417");
    // Module width 3, row height 3 x 3 dots.
    EXPECT_EQ(r.symbols[0].width % 3, 0);
    EXPECT_EQ(r.symbols[0].height % 9, 0);
}

TEST(VirtualPrinterBarcode, Ean13AndCode128ScanBack) {
    Receipt r;
    EXPECT_EQ(PrintAndScan(Gs('w', {3}) + BarcodeNul(2, "400638133393"), BarcodeFormat::EAN13, &r),
              "4006381333931");
    ASSERT_EQ(r.symbols.size(), 1u);
    EXPECT_EQ(r.symbols[0].width, 95 * 3);
    EXPECT_EQ(r.symbols[0].height, 162);  // default bar height, no HRI

    EXPECT_EQ(PrintAndScan(Gs('H', {2}) + Gs('h', {80}) + BarcodeLen(67, "4006381333931"),
                           BarcodeFormat::EAN13, &r),
              "4006381333931");
    EXPECT_GT(r.symbols.at(0).height, 80);  // HRI below the bars

    EXPECT_EQ(PrintAndScan(Gs('w', {2}) + BarcodeLen(73, "{BKESTO-128/x"), BarcodeFormat::Code128),
              "KESTO-128/x");
    // Code set C carries two digits per byte.
    EXPECT_EQ(PrintAndScan(BarcodeLen(73, std::string("{C\x0C\x22\x38", 5) + "{B-9"), BarcodeFormat::Code128),
              "123456-9");
}

TEST(VirtualPrinterBarcode, OtherLinearSymbologiesScanBack) {
    struct Case {
        std::string bytes;
        BarcodeFormat format;
        std::string expect;
    } cases[] = {
        {BarcodeNul(0, "03600029145"), BarcodeFormat::UPCA, "036000291452"},
        {BarcodeNul(3, "9638507"), BarcodeFormat::EAN8, "96385074"},
        {BarcodeNul(5, "12345678"), BarcodeFormat::ITF, "12345678"},
        {BarcodeNul(4, "*KESTO-39*"), BarcodeFormat::Code39, "KESTO-39"},
        {BarcodeLen(72, "Kesto93"), BarcodeFormat::Code93, "Kesto93"},
        {BarcodeLen(71, "A40156B"), BarcodeFormat::Codabar, "40156"},
    };
    for (const auto& c : cases) EXPECT_EQ(PrintAndScan(c.bytes, c.format), c.expect) << c.expect;
}

TEST(VirtualPrinterBarcode, DataAPrinterRefusesIsNotPrintedAndTheTranscriptSaysWhy) {
    struct Case {
        std::string bytes;
        std::string reason;
    } cases[] = {
        {BarcodeNul(0, "12345"), "UPC-A needs 11 or 12 digits, got 5"},
        {BarcodeNul(2, "4006381333932"), "check digit is 2, should be 1"},
        {BarcodeNul(2, "40063813339A"), "EAN-13 takes digits only"},
        {BarcodeLen(68, "123456789"), "EAN-8 needs 7 or 8 digits, got 9"},
        {BarcodeNul(5, "12345"), "ITF needs an even number of digits"},
        {BarcodeNul(4, "abc"), "CODE39 cannot encode 'a'"},
        {BarcodeNul(6, "12345"), "CODABAR must begin and end with a start/stop character"},
        {BarcodeLen(73, "KESTO"), "must begin with a code set selection"},
        {BarcodeLen(73, std::string("{C\x64", 3)), "code set C takes values 0 to 99"},
        {Gs('w', {6}) + BarcodeLen(73, "{B" + std::string(60, 'x')), "wider than the printing area"},
        {test::Gs2d('1', 'Q', "0"), "no data stored"},
    };
    for (const auto& c : cases) {
        VirtualPrinter p;
        p.Feed(c.bytes + "after\n");
        p.EndOfStream();
        const Receipt& r = p.receipts().at(0);
        EXPECT_TRUE(r.symbols.empty()) << c.reason;
        EXPECT_NE(r.TranscriptText().find("refused"), std::string::npos) << r.TranscriptText();
        EXPECT_NE(r.TranscriptText().find(c.reason), std::string::npos) << r.TranscriptText();
        // The printer carries on with what follows.
        EXPECT_EQ(r.LineTexts(), std::vector<std::string>{"after"}) << c.reason;
        EXPECT_EQ(r.paper.height(), 30) << c.reason;
    }
}

}  // namespace
}  // namespace kesto::vprinter
