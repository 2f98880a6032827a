// The virtual printer survives any byte stream: random bytes, streams cut off
// anywhere, commands split across reads. Splitting never changes the result.
#include <gtest/gtest.h>

#include <random>

#include "virtual_printer.h"
#include "virtual_printer_helpers.h"

namespace kesto::vprinter {
namespace {

using test::Esc;
using test::Gs;

struct Outcome {
    std::vector<std::string> transcripts;
    std::vector<std::vector<std::string>> lines;
    std::vector<Bitmap> dots;
};

// Feeds `bytes` in pieces of the sizes `rng` picks (all at once without one).
Outcome PrintStream(const std::string& bytes, std::mt19937* rng) {
    VirtualPrinter p;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t n = rng ? std::min<size_t>(bytes.size() - pos, 1 + (*rng)() % 7) : bytes.size();
        p.Feed(reinterpret_cast<const uint8_t*>(bytes.data()) + pos, n);
        pos += n;
    }
    p.EndOfStream();
    Outcome o;
    for (const Receipt& r : p.receipts()) {
        EXPECT_EQ(r.paper.width(), 576);
        o.transcripts.push_back(r.TranscriptText());
        o.lines.push_back(r.LineTexts());
        o.dots.push_back(r.paper);
    }
    return o;
}

// Text with runs never split differently: a run of text is one transcript entry
// only when it arrives in one piece, so compare the pictures and the lines.
bool SamePrint(const Outcome& a, const Outcome& b) {
    return a.lines == b.lines && a.dots == b.dots;
}

std::string SampleJob() {
    std::string raster = Gs('v', {'0', 0, 2, 0, 3, 0}) + std::string("\xF0\x0F\xAA\x55\x81\x18", 6);
    return Esc('@') + Esc('a', {1}) + Gs('!', {0x11}) + "Shop\n" + Gs('!', {0}) + Esc('a', {0}) +
           Esc('D', {8, 20, 0}) + "a\tb\n" + Esc('E', {1}) + "Total 5.60\n" + Esc('E', {0}) +
           test::BarcodeNul(2, "400638133393") + test::BarcodeLen(73, "{BAB12") + test::QrCode("qr data") +
           test::Pdf417("pdf data") + raster + Esc('L') + Esc('T', {1}) + "page\n" + "\x0C" + Esc('d', {2}) +
           Gs('V', {66, 3}) + "second\n";
}

TEST(VirtualPrinterRobustness, SplittingTheStreamAnywhereChangesNothing) {
    const std::string job = SampleJob();
    Outcome whole = PrintStream(job, nullptr);
    ASSERT_EQ(whole.lines.size(), 2u);
    EXPECT_EQ(whole.lines[0], (std::vector<std::string>{"Shop", "a\tb", "Total 5.60", "page"}));
    EXPECT_EQ(whole.lines[1], std::vector<std::string>{"second"});
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 rng(seed);
        Outcome split = PrintStream(job, &rng);
        EXPECT_TRUE(SamePrint(whole, split)) << "seed " << seed;
    }
    // Byte by byte, too.
    VirtualPrinter p;
    for (char c : job) p.Feed(reinterpret_cast<const uint8_t*>(&c), 1);
    p.EndOfStream();
    ASSERT_EQ(p.receipts().size(), 2u);
    EXPECT_EQ(p.receipts()[0].symbols.size(), 5u);
    EXPECT_EQ(p.receipts()[0].LineTexts(), whole.lines[0]);
}

TEST(VirtualPrinterRobustness, EveryTruncationEndsCleanlyAndSaysSo) {
    const std::string job = SampleJob();
    for (size_t len = 0; len <= job.size(); ++len) {
        VirtualPrinter p;
        p.Feed(job.substr(0, len));
        p.EndOfStream();
        for (const Receipt& r : p.receipts()) EXPECT_EQ(r.paper.width(), 576);
    }
    struct Case {
        std::string bytes;
        std::string says;
    } cases[] = {
        {Gs('v', {'0', 0, 4, 0, 4, 0}) + "abc", "stream ended inside a command"},
        {test::Gs2d('1', 'P', "0hello").substr(0, 8), "stream ended inside a command"},
        {Gs('k', {2}) + "4006", "stream ended inside a command"},
        {std::string("\x1B", 1), "stream ended inside a command"},
        {Esc('D', {4, 8}), "stream ended inside a command"},
        {Gs('v', {'0', 0, 0xFF, 0xFF, 0xFF, 0xFF}) + "xyz", "bytes before the end of GS v 0 data"},
    };
    for (const auto& c : cases) {
        VirtualPrinter p;
        p.Feed("ok\n" + c.bytes);
        p.EndOfStream();
        ASSERT_EQ(p.receipts().size(), 1u);
        EXPECT_EQ(p.receipts()[0].LineTexts(), std::vector<std::string>{"ok"});
        EXPECT_NE(p.receipts()[0].TranscriptText().find(c.says), std::string::npos)
            << p.receipts()[0].TranscriptText();
    }
}

TEST(VirtualPrinterRobustness, RandomStreamsNeverCrashAndSplitsAgree) {
    // Bytes biased towards command leads so that many commands are formed.
    const char leads[] = {'\x1B', '\x1D', '\x10', '\x1C', '\x0A', '\x00', '(', 'k', 'v', '0', '1', 'P', 'Q'};
    for (unsigned seed = 1; seed <= 100; ++seed) {
        std::mt19937 rng(seed);
        std::string bytes;
        size_t len = rng() % 3000;
        for (size_t i = 0; i < len; ++i)
            bytes += rng() % 3 == 0 ? leads[rng() % sizeof leads] : static_cast<char>(rng() & 0xFF);
        Outcome whole = PrintStream(bytes, nullptr);
        std::mt19937 split_rng(seed * 31);
        EXPECT_TRUE(SamePrint(whole, PrintStream(bytes, &split_rng))) << "seed " << seed;
    }
}

TEST(VirtualPrinterRobustness, UnknownBytesAreShownAndSkipped) {
    VirtualPrinter p;
    p.Feed(std::string("\x1B\x02", 2) + "A" + std::string("\x07", 1) + Gs('Z') +
           std::string("\x1D(Z\x02\x00xy", 7) + Esc('D', {70, 'B'}) + "\n");
    p.EndOfStream();
    const Receipt& r = p.receipts().at(0);
    const std::string t = r.TranscriptText();
    EXPECT_NE(t.find("unknown ESC command: 1B 02 skipped"), std::string::npos) << t;
    EXPECT_NE(t.find("unknown control byte: 07 skipped"), std::string::npos) << t;
    EXPECT_NE(t.find("unknown GS command: 1D 5A skipped"), std::string::npos) << t;
    EXPECT_NE(t.find("GS ( Z: not supported, 2 bytes skipped"), std::string::npos) << t;
    // A tab position that does not ascend ends the list and prints as data.
    EXPECT_NE(t.find("ESC D: tab positions at columns 70"), std::string::npos) << t;
    EXPECT_EQ(r.LineTexts(), std::vector<std::string>{"AB"});
}

}  // namespace
}  // namespace kesto::vprinter
