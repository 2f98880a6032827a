// Text printed by the virtual printer lands in its text model with the font,
// size, emphasis, underline, reverse and alignment it was printed with, and on
// the paper where those settings put it.
#include <gtest/gtest.h>

#include "virtual_printer.h"
#include "virtual_printer_helpers.h"

namespace kesto::vprinter {
namespace {

using test::Esc;
using test::Gs;
using test::InkIn;

Receipt PrintAndCut(VirtualPrinter& p, const std::string& bytes) {
    p.Feed(bytes + Gs('V', {1}));
    EXPECT_EQ(p.receipts().size(), 1u);
    return p.receipts().empty() ? Receipt{} : p.receipts().back();
}

TEST(VirtualPrinterText, EachPrintModeLandsInTheModelAndOnThePaper) {
    VirtualPrinter p;
    Receipt r = PrintAndCut(p, Esc('@') + "Plain\n" + Esc('!', {0x38}) +
                                   "Big\n" +                        // emphasized, double height and width
                                   Esc('!', {0x01}) + "Font B\n" +  // font B
                                   Esc('!', {0}) + Gs('!', {0x32}) + "Mag\n" + Gs('!', {0}) + Esc('-', {2}) +
                                   "Under\n" + Esc('-', {0}) + Gs('B', {1}) + "Rev\n" + Gs('B', {0}) +
                                   Esc('a', {1}) + "Mid\n" + Esc('a', {2}) + "End\n");
    ASSERT_EQ(r.LineTexts(),
              (std::vector<std::string>{"Plain", "Big", "Font B", "Mag", "Under", "Rev", "Mid", "End"}));
    const auto& L = r.lines;

    EXPECT_EQ(L[0].style().font, Font::kA);
    EXPECT_EQ(L[0].height, 24);
    EXPECT_EQ(L[0].width, 5 * 12);
    EXPECT_EQ(L[0].x, 0);

    EXPECT_TRUE(L[1].style().bold);
    EXPECT_EQ(L[1].style().width_mag, 2);
    EXPECT_EQ(L[1].style().height_mag, 2);
    EXPECT_EQ(L[1].height, 48);
    EXPECT_EQ(L[1].width, 3 * 24);

    EXPECT_EQ(L[2].style().font, Font::kB);
    EXPECT_FALSE(L[2].style().bold);
    EXPECT_EQ(L[2].height, 18);
    EXPECT_EQ(L[2].width, 6 * 9);

    EXPECT_EQ(L[3].style().width_mag, 4);
    EXPECT_EQ(L[3].style().height_mag, 3);
    EXPECT_EQ(L[3].height, 72);
    EXPECT_EQ(L[3].width, 3 * 48);

    // A two-dot underline runs under the whole line.
    EXPECT_EQ(L[4].style().underline, 2);
    EXPECT_EQ(InkIn(r.paper, L[4].x, L[4].y + 22, L[4].width, 2), L[4].width * 2);

    // Reverse: the cells are mostly black.
    EXPECT_TRUE(L[5].style().reverse);
    EXPECT_GT(InkIn(r.paper, L[5].x, L[5].y, L[5].width, L[5].height), L[5].width * L[5].height / 2);

    EXPECT_EQ(L[6].align, Align::kCenter);
    EXPECT_EQ(L[6].x, (576 - 36) / 2);
    EXPECT_EQ(L[7].align, Align::kRight);
    EXPECT_EQ(L[7].x + L[7].width, 576);
    EXPECT_GT(InkIn(r.paper, 576 - 36, L[7].y, 36, 24), 0);
    EXPECT_EQ(InkIn(r.paper, 0, L[7].y, 576 - 36, 24), 0);

    // Lines follow each other at the default spacing or the taller character.
    EXPECT_EQ(L[1].y - L[0].y, 30);
    EXPECT_EQ(L[2].y - L[1].y, 48);
}

TEST(VirtualPrinterText, MixedStylesInOneLineBecomeSpans) {
    VirtualPrinter p;
    Receipt r = PrintAndCut(p, "a" + Esc('E', {1}) + "bc" + Esc('E', {0}) + Gs('!', {0x10}) + "d\n");
    ASSERT_EQ(r.lines.size(), 1u);
    const auto& spans = r.lines[0].spans;
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[0].text, "a");
    EXPECT_EQ(spans[1].text, "bc");
    EXPECT_TRUE(spans[1].style.bold);
    EXPECT_EQ(spans[2].style.width_mag, 2);
    // The line is as tall as its tallest character.
    EXPECT_EQ(r.lines[0].height, 24);
}

TEST(VirtualPrinterText, LongTextWrapsAtThePrintingAreaAndFontBHoldsMore) {
    VirtualPrinter p;
    Receipt r = PrintAndCut(p, std::string(50, 'x') + "\n" + Esc('M', {1}) + std::string(64, 'y') + "\n");
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0].text, std::string(48, 'x'));
    EXPECT_EQ(r.lines[1].text, "xx");
    EXPECT_EQ(r.lines[2].text, std::string(64, 'y'));

    VirtualPrinter narrow(PrinterOptions{384});
    narrow.Feed(std::string(40, 'z') + "\n");
    narrow.EndOfStream();
    ASSERT_EQ(narrow.receipts().size(), 1u);
    EXPECT_EQ(narrow.receipts()[0].paper.width(), 384);
    EXPECT_EQ(narrow.receipts()[0].lines[0].text, std::string(32, 'z'));
}

TEST(VirtualPrinterText, InitialiseDiscardsUnprintedTextAndResetsModes) {
    VirtualPrinter p;
    Receipt r = PrintAndCut(p, Esc('!', {0x38}) + Esc('a', {1}) + "lost" + Esc('@') + "kept\n");
    ASSERT_EQ(r.LineTexts(), std::vector<std::string>{"kept"});
    EXPECT_EQ(r.lines[0].style(), TextStyle{});
    EXPECT_EQ(r.lines[0].align, Align::kLeft);
    EXPECT_NE(r.TranscriptText().find("4 unprinted characters discarded"), std::string::npos);
}

TEST(VirtualPrinterText, MarginsPositionsSpacingAndMotionUnits) {
    VirtualPrinter p;
    Receipt r =
        PrintAndCut(p, Gs('L', {40, 0}) + "margin\n" + Gs('L', {0, 0}) + Esc('$', {100, 0}) + "abs\n" +
                           Gs('P', {101, 101}) + Esc('$', {50, 0}) + "units\n" + Gs('P', {0, 0}) +
                           Esc('3', {60}) + "s1\ns2\n" + Esc('2') + Esc(' ', {4}) + "sp\n");
    ASSERT_EQ(r.lines.size(), 6u);
    EXPECT_EQ(r.lines[0].x, 40);
    EXPECT_EQ(r.lines[1].x, 100);
    EXPECT_EQ(r.lines[2].x, 100);  // 50 units of 1/101 inch at 203 dots per inch
    EXPECT_EQ(r.lines[4].y - r.lines[3].y, 60);
    EXPECT_EQ(r.lines[5].width, 2 * 16);
}

TEST(VirtualPrinterText, CodeTablesDecodeTheUpperHalf) {
    VirtualPrinter p;
    Receipt r = PrintAndCut(p, "\x9B\n" + Esc('t', {2}) + "\x9B\n");
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].text, "\xC2\xA2");  // CP437: cent sign
    EXPECT_EQ(r.lines[1].text, "\xC3\xB8");  // CP850: o with stroke
}

TEST(VirtualPrinterText, DisabledPrinterIgnoresDataUntilEnabled) {
    VirtualPrinter p;
    Receipt r = PrintAndCut(p, Esc('=', {0}) + "hidden\n" + Esc('=', {1}) + "shown\n");
    EXPECT_EQ(r.LineTexts(), std::vector<std::string>{"shown"});
}

TEST(VirtualPrinterText, PageModeLaysOutInItsAreaAndDirection) {
    auto page = [](int dir) {
        VirtualPrinter p;
        p.Feed(Esc('L') + Esc('W', {0, 0, 0, 0, 200, 0, 100, 0}) + Esc('T', {dir}) + "PG\n" + "\x0C" +
               Gs('V', {0}));
        return p.receipts().at(0);
    };
    Receipt r0 = page(0);
    EXPECT_EQ(r0.paper.height(), 100);
    ASSERT_EQ(r0.lines.size(), 1u);
    EXPECT_TRUE(r0.lines[0].page_mode);
    EXPECT_GT(InkIn(r0.paper, 0, 0, 24, 24), 0);  // starts top left
    EXPECT_EQ(InkIn(r0.paper, 100, 50, 100, 50), 0);

    Receipt r2 = page(2);  // right to left, starting bottom right
    EXPECT_GT(InkIn(r2.paper, 176, 76, 24, 24), 0);
    EXPECT_EQ(InkIn(r2.paper, 0, 0, 100, 50), 0);

    Receipt r3 = page(3);  // top to bottom, starting top right
    EXPECT_GT(InkIn(r3.paper, 176, 0, 24, 24), 0);
    EXPECT_EQ(InkIn(r3.paper, 0, 50, 100, 50), 0);

    // CAN throws the page away; ESC S leaves page mode without printing.
    VirtualPrinter p;
    p.Feed(Esc('L') + "gone" + "\x18" + Esc('S') + "std\n" + Gs('V', {0}));
    EXPECT_EQ(p.receipts().at(0).LineTexts(), std::vector<std::string>{"std"});
    EXPECT_FALSE(p.page_mode());
}

}  // namespace
}  // namespace kesto::vprinter
