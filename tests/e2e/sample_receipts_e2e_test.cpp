// The four sample receipts printed by the library over TCP onto the virtual
// printer: their lines, their codes as a scanner reads them, and the cut that
// ends each of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace kesto::e2e {
namespace {

using ZXing::BarcodeFormat;

// Prints one sample receipt on a fresh printer and returns what came out.
Receipt PrintSample(int (*print)(void*)) {
    PrinterServer printer;
    Device device(printer.Description());
    EXPECT_NE(device.get(), nullptr);
    EXPECT_EQ(print(device.get()), 0);
    std::vector<Receipt> receipts = printer.WaitForReceipts(1);
    return receipts.empty() ? Receipt{} : receipts.front();
}

bool EndsWithFeedAndCut(const Receipt& r) {
    if (!r.cut || r.transcript.empty()) return false;
    const std::string& last = r.transcript.back();
    return last.rfind("GS V: feed 3 units", 0) == 0 && last.find("partial cut") != std::string::npos;
}

TEST(SampleReceiptsE2E, ReceiptOneShowsShopArticlesAndTotal) {
    Receipt r = PrintSample(KESTO_PrintSampleReceipt1);
    EXPECT_TRUE(EndsWithFeedAndCut(r)) << r.TranscriptText();

    const vprinter::TextLine* shop = FindLine(r, "CORNER DELI & COFFEE");
    ASSERT_NE(shop, nullptr) << ::testing::PrintToString(r.LineTexts());
    EXPECT_EQ(shop->align, vprinter::Align::kCenter);
    EXPECT_EQ(shop->style().height_mag, 2);
    EXPECT_GT(shop->x, 0);

    const vprinter::TextLine* article = FindLine(r, "Sourdough sandwich                 $8.50");
    ASSERT_NE(article, nullptr) << ::testing::PrintToString(r.LineTexts());
    EXPECT_EQ(article->style().font, vprinter::Font::kB);
    EXPECT_EQ(article->align, vprinter::Align::kLeft);

    const vprinter::TextLine* total = FindLine(r, "TOTAL                 $16.50");
    ASSERT_NE(total, nullptr) << ::testing::PrintToString(r.LineTexts());
    EXPECT_EQ(total->style().height_mag, 2);
    EXPECT_GT(total->y, article->y);
    EXPECT_TRUE(HasLine(r, "Change                           $3.50"));
    EXPECT_TRUE(r.symbols.empty());
}

TEST(SampleReceiptsE2E, ReceiptTwoAddsUpAndItsPdf417ScansAs142) {
    Receipt r = PrintSample(KESTO_PrintSampleReceipt2);
    EXPECT_TRUE(EndsWithFeedAndCut(r)) << r.TranscriptText();

    // Every article line is rate x quantity = amount; the amounts add up to the
    // total, the balance is what was paid less the total, and the "=" rules end
    // with the amount column.
    const std::vector<std::string> lines = r.LineTexts();
    const std::regex article(R"(^.{18}(\d+\.\d\d) +(\d+) +(\d+\.\d\d)$)");
    long cents = 0;
    int articles = 0;
    for (const std::string& line : lines) {
        std::smatch m;
        if (!std::regex_match(line, m, article)) continue;
        ++articles;
        const long amount = std::lround(std::stod(m[3]) * 100);
        EXPECT_EQ(std::lround(std::stod(m[1]) * 100) * std::stol(m[2]), amount) << line;
        cents += amount;
    }
    EXPECT_EQ(articles, 10) << ::testing::PrintToString(lines);
    auto amountOf = [&](const std::string& label) {
        auto it = std::find_if(lines.begin(), lines.end(),
                               [&](const std::string& l) { return l.rfind(label, 0) == 0; });
        return it == lines.end() ? -1L : std::lround(std::stod(it->substr(it->rfind(' ') + 1)) * 100);
    };
    EXPECT_EQ(amountOf("Items: 17"), cents);
    EXPECT_EQ(amountOf("Cash paid") - cents, amountOf("Balance"));
    const auto header = std::find_if(lines.begin(), lines.end(),
                                     [](const std::string& l) { return l.rfind("Product", 0) == 0; });
    ASSERT_NE(header, lines.end());
    for (const std::string& line : lines) {
        if (line.find("=======") == std::string::npos) continue;
        EXPECT_EQ(line.size(), header->size()) << line;
    }
    const vprinter::TextLine* shop = FindLine(r, "GREENFIELD GROCERS");
    ASSERT_NE(shop, nullptr);
    EXPECT_TRUE(shop->style().bold);

    ASSERT_EQ(r.symbols.size(), 1u);
    EXPECT_EQ(r.symbols[0].kind, "PDF417");
    EXPECT_EQ(Scan(r, r.symbols[0], BarcodeFormat::PDF417), "142");
    // The code comes after the tenders and before the thank-you line.
    const vprinter::TextLine* balance = FindLine(r, "Balance                           5.00");
    const vprinter::TextLine* thanks = FindLine(r, "Thank you for shopping with us");
    ASSERT_TRUE(balance != nullptr && thanks != nullptr) << ::testing::PrintToString(lines);
    EXPECT_GT(r.symbols[0].y, balance->y);
    EXPECT_LT(r.symbols[0].y + r.symbols[0].height, thanks->y);
}

TEST(SampleReceiptsE2E, ReceiptThreeShowsTheSaleInBoldDoubleHeight) {
    Receipt r = PrintSample(KESTO_PrintSampleReceipt3);
    EXPECT_TRUE(EndsWithFeedAndCut(r)) << r.TranscriptText();
    const vprinter::TextLine* sale = FindLine(r, "Sale");
    ASSERT_NE(sale, nullptr) << ::testing::PrintToString(r.LineTexts());
    EXPECT_TRUE(sale->style().bold);
    EXPECT_EQ(sale->style().height_mag, 2);
    EXPECT_EQ(sale->align, vprinter::Align::kCenter);

    const vprinter::TextLine* shop = FindLine(r, " LANTERN BOOKS ");
    ASSERT_NE(shop, nullptr) << ::testing::PrintToString(r.LineTexts());
    EXPECT_TRUE(shop->style().reverse);
    const vprinter::TextLine* g8 = FindLine(r, "GGGGG");
    ASSERT_NE(g8, nullptr) << ::testing::PrintToString(r.LineTexts());
    EXPECT_EQ(g8->style().height_mag, 8);
}

TEST(SampleReceiptsE2E, ReceiptFourPrintsAllTenCodesAScannerReads) {
    Receipt r = PrintSample(KESTO_PrintSampleReceipt4);
    EXPECT_TRUE(EndsWithFeedAndCut(r)) << r.TranscriptText();
    EXPECT_TRUE(HasLine(r, "THE END ")) << ::testing::PrintToString(r.LineTexts());

    // Each code as a scanner reads it: UPC/EAN with the check digit the
    // printer added, CODABAR without its start and stop characters.
    struct Expected {
        const char* kind;
        BarcodeFormat format;
        const char* data;
    } const expected[] = {
        {"UPC-A", BarcodeFormat::UPCA, "012345678905"},
        {"EAN-8", BarcodeFormat::EAN8, "01234565"},
        {"EAN-13", BarcodeFormat::EAN13, "0123456789012"},
        {"ITF", BarcodeFormat::ITF, "0123456789"},
        {"CODABAR", BarcodeFormat::Codabar, "0123456789"},
        {"CODE39", BarcodeFormat::Code39, "0123456789"},
        {"CODE93", BarcodeFormat::Code93, "0123456789"},
        {"CODE128", BarcodeFormat::Code128, "0123456789"},
        {"QR code", BarcodeFormat::QRCode, "KESTOTESTPRINT"},
        {"PDF417", BarcodeFormat::PDF417, "KESTOTESTPRINT"},
    };
    ASSERT_EQ(r.symbols.size(), std::size(expected)) << r.TranscriptText();
    for (size_t i = 0; i < r.symbols.size(); ++i) {
        EXPECT_EQ(r.symbols[i].kind, expected[i].kind);
        EXPECT_EQ(Scan(r, r.symbols[i], expected[i].format), expected[i].data) << expected[i].kind;
        if (i > 0) {
            EXPECT_GE(r.symbols[i].y, r.symbols[i - 1].y + r.symbols[i - 1].height);
        }
    }
}

TEST(SampleReceiptsE2E, EachReceiptEndsWithItsOwnCut) {
    PrinterServer printer;
    {
        Device device(printer.Description());
        ASSERT_NE(device.get(), nullptr);
        EXPECT_EQ(KESTO_PrintSampleReceipt1(device.get()), 0);
        EXPECT_EQ(KESTO_PrintSampleReceipt2(device.get()), 0);
        EXPECT_EQ(KESTO_PrintSampleReceipt3(device.get()), 0);
        EXPECT_EQ(KESTO_PrintSampleReceipt4(device.get()), 0);
        printer.WaitForReceipts(4);
    }
    // A second connection prints one more line: had anything been left after
    // the last cut, the end of the first connection would have made a receipt of it.
    {
        Device device(printer.Description());
        ASSERT_EQ(KESTO_PrintText(device.get(), "next", 4, false), 12);
        EXPECT_GT(KESTO_FeedAndCutPaper(device.get()), 0);
        printer.WaitForReceipts(5);
    }
    std::vector<Receipt> receipts = printer.Receipts();
    ASSERT_EQ(receipts.size(), 5u);
    EXPECT_EQ(receipts[4].LineTexts(), std::vector<std::string>{"next"});
    receipts.pop_back();
    const char* const marks[] = {"CORNER DELI & COFFEE", "GREENFIELD GROCERS", "Sale", "THE END "};
    for (size_t i = 0; i < receipts.size(); ++i) {
        EXPECT_TRUE(EndsWithFeedAndCut(receipts[i])) << "receipt " << i + 1;
        EXPECT_TRUE(HasLine(receipts[i], marks[i])) << "receipt " << i + 1;
    }
}

}  // namespace
}  // namespace kesto::e2e
