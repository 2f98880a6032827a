// The virtual printer: what it puts on the paper and in its text model, the
// codes it draws (scanned back), its status replies, its limits, and the
// program finishing every receipt it received when it is told to stop.
#include <random>

#include "vp_support.h"

namespace kesto::vprinter::test {
namespace {

Receipt PrintOne(const std::string& bytes) {
    VirtualPrinter p;
    p.Feed(bytes);
    p.EndOfStream();
    EXPECT_EQ(p.receipts().size(), 1u);
    return p.receipts().empty() ? Receipt{} : p.receipts()[0];
}

TEST(VirtualPrinter, TextStylesSizesAndAlignmentShapeTheLineAndItsInk) {
    const std::pair<std::string, std::string> rows[] = {
        {"", "A u0 1x1 left 0 36x24"},  // power-on: font A, 12 x 24 dots
        {Bytes({0x1B, '!', 0x38}), "A bold u0 2x2 left 0 72x48"},
        {Bytes({0x1B, 'M', 1}), "B u0 1x1 left 0 27x18"},  // font B, 9 x 18 dots
        {Bytes({0x1D, '!', 0x32}), "A u0 4x3 left 0 144x72"},
        {Bytes({0x1B, 'E', 1}), "A bold u0 1x1 left 0 36x24"},
        {Bytes({0x1B, '-', 2}), "A u2 1x1 left 0 36x24"},
        {Bytes({0x1D, 'B', 1}), "A u0 rev 1x1 left 0 36x24"},
        {Bytes({0x1B, 'a', 1}), "A u0 1x1 centre 270 36x24"},
        {Bytes({0x1B, 'a', 2}), "A u0 1x1 right 540 36x24"},
        {Bytes({0x1D, 'L', 40, 0}), "A u0 1x1 left 40 36x24"},
        {Bytes({0x1B, '$', 100, 0}), "A u0 1x1 left 100 36x24"},
    };
    int plain = 0;
    for (const auto& [bytes, expected] : rows) {
        const Receipt r = PrintOne(bytes + "Abc\n");
        ASSERT_EQ(r.LineTexts(), std::vector<std::string>{"Abc"});
        const TextLine& l = r.lines[0];
        const TextStyle& s = l.style();
        EXPECT_EQ(Describe(l), expected);
        // All ink lies in the line's box; emphasis, underline and reverse add to it.
        const int ink = InkIn(r.paper, l.x, 0, l.width, l.height);
        EXPECT_EQ(InkIn(r.paper, 0, 0, r.paper.width(), r.paper.height()), ink) << expected;
        plain = plain == 0 ? ink : plain;
        EXPECT_TRUE(l.width != 36 || (ink > plain) == (s.bold || s.underline || s.reverse)) << expected;
    }
}

TEST(VirtualPrinter, EveryKnownCodeTableAndMultibyteFontIsDrawnAndWrittenAsUtf8) {
    // Table 1 is half-width Katakana from A1; the others hold something at E0.
    GlyphSource glyphs;
    ASSERT_TRUE(glyphs.fonts_loaded());
    const Bitmap box = glyphs.Cell(Font::kA, false, 0x10FFFD);  // a character no font has
    for (int table : {0, 1, 2, 3, 4, 5, 14, 16, 17, 18, 19, 33, 34, 36, 37, 45, 46, 47, 49, 50, 51}) {
        int drawn = 0;
        for (int b = 0xA1; b < 0x100; ++b) {
            const char32_t cp = DecodeCodePage(table, static_cast<uint8_t>(b));
            if (cp == U'?') continue;
            ++drawn;
            EXPECT_FALSE(glyphs.Cell(Font::kA, false, cp) == box) << table << " " << b;
        }
        EXPECT_GT(drawn, table == 1 ? 62 : 20) << table;
    }
    // ESC t 17 (PC866), then each font in kanji mode: the transcript writes what it printed
    // as UTF-8, and a multibyte character takes two columns of font A (24 dots).
    const struct {
        Multibyte font;
        std::string code, text;
        int characters;
    } fonts[] = {
        {Multibyte::kGb18030, "\xC4\xE3\xBA\xC3", "你好", 2},
        {Multibyte::kGb18030, "\x81\x30\x86\x38", "À", 1},
        {Multibyte::kBig5, "\xA7\x41\xA6\x6E", "你好", 2},
        {Multibyte::kKsc5601, "\xC7\xD1\xB1\xB9", "한국", 2},
        {Multibyte::kShiftJis, "\x93\xFA\x96\x7B", "日本", 2},
    };
    for (const auto& f : fonts) {
        VirtualPrinter p({576, 0, f.font});
        p.Feed(Bytes({0x1B, 't', 17}) + "\x8F" + Bytes({0x1C, '&'}) + f.code + Bytes({0x1C, '.'}) + "\x8F\n");
        p.EndOfStream();
        const Receipt& r = p.receipts().at(0);
        ASSERT_EQ(r.LineTexts(), std::vector<std::string>{"П" + f.text + "П"}) << r.TranscriptText();
        EXPECT_EQ(r.lines[0].width, 12 + f.characters * 24 + 12);
        EXPECT_NE(r.TranscriptText().find("text \"П\"\nFS &: kanji mode on"), std::string::npos);
    }
}

TEST(VirtualPrinter, RasterImagesArriveDotForDotInEverySizeMode) {
    std::mt19937 random(7);
    std::string data;  // 24 x 5 dots
    for (int i = 0; i < 15; ++i) data += static_cast<char>(random());
    auto dot = [&](int x, int y) { return (data[y * 3 + x / 8] >> (7 - x % 8) & 1) != 0; };
    for (int mode : {0, 1, 2, 3, 48, 51}) {
        const int sx = mode & 1 ? 2 : 1, sy = mode & 2 ? 2 : 1, left = (576 - 24 * sx) / 2;  // centred
        const Receipt r = PrintOne(Bytes({0x1B, 'a', 1, 0x1D, 'v', '0', mode, 3, 0, 5, 0}) + data);
        ASSERT_EQ(r.symbols.size(), 1u);
        EXPECT_EQ(r.symbols[0].kind, "raster image");
        ASSERT_EQ(r.paper.height(), 5 * sy) << mode;
        for (int y = 0; y < 5 * sy; ++y)
            for (int x = 0; x < 576; ++x)
                ASSERT_EQ(r.paper.Get(x, y), x >= left && x < left + 24 * sx && dot((x - left) / sx, y / sy))
                    << "mode " << mode << " x " << x << " y " << y;
    }
}

// GS ( k pL pH cn fn params
std::string Gs2d(char cn, char fn, const std::string& params) {
    const int n = static_cast<int>(params.size()) + 2;
    return Bytes({0x1D, '(', 'k', n & 0xFF, n >> 8, cn, fn}) + params;
}

TEST(VirtualPrinter, CodesScanBackToTheirDataAndDataAPrinterRefusesPrintsNothing) {
    auto nul = [](int m, const std::string& d) { return Bytes({0x1D, 'k', m}) + d + std::string(1, '\0'); };
    auto counted = [](int m, const std::string& d) {
        return Bytes({0x1D, 'k', m, static_cast<int>(d.size())}) + d;
    };
    const std::string url = "https://kesto.example/r/42?total=5.60";
    const std::string pdf = "PDF417 receipt 0001, total 5.60 EUR";
    // The code a printer draws and what a scanner reads from it, or "" and why it refuses the data.
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {nul(2, "400638133393"), "EAN-13", "4006381333931"},  // the printer adds the check digit
        {nul(0, "03600029145"), "UPC-A", "036000291452"},
        {counted(68, "9638507"), "EAN-8", "96385074"},
        {nul(5, "12345678"), "ITF", "12345678"},
        {nul(4, "*KESTO-39*"), "CODE39", "KESTO-39"},
        {counted(72, "Kesto93"), "CODE93", "Kesto93"},
        {counted(71, "A40156B"), "CODABAR", "40156"},
        {counted(73, Bytes({'{', 'C', 12, 34, 56, '{', 'B', '-', '9'})), "CODE128", "123456-9"},
        {Gs2d('1', 'C', "\x05") + Gs2d('1', 'P', "0" + url) + Gs2d('1', 'Q', "0"), "QR code", url},
        {Gs2d('0', 'P', "0" + pdf) + Gs2d('0', 'Q', "0"), "PDF417", pdf},
        {nul(2, "4006381333932"), "", "EAN-13 check digit is 2, should be 1"},
        {counted(73, "KESTO"), "", "CODE128 data must begin with a code set selection"},
        {Gs2d('1', 'Q', "0"), "", "no data stored"},
    };
    for (const auto& [bytes, kind, scanned] : rows) {
        const Receipt r = PrintOne(bytes + "after\n");
        EXPECT_EQ(r.LineTexts(), std::vector<std::string>{"after"}) << scanned;
        ASSERT_EQ(r.symbols.size(), kind.empty() ? 0u : 1u) << r.TranscriptText();
        EXPECT_EQ(kind.empty() ? "" : r.symbols[0].kind, kind);
        const std::string got =
            kind.empty() ? r.TranscriptText() : kind + ": " + Scan(r.paper, r.symbols[0]) + "\n";
        EXPECT_NE(got.find(kind.empty() ? "refused: " + scanned : kind + ": " + scanned + "\n"),
                  std::string::npos)
            << got;
    }
}

TEST(VirtualPrinter, StatusGoesBackOnEachChangeOfAnEnabledGroupAndOnRealTimeRequests) {
    VirtualPrinter p;
    std::string sent;
    p.set_reply_sink([&](const uint8_t* b, size_t n) { sent.append(reinterpret_cast<const char*>(b), n); });
    Condition c;
    // Sets one condition (none for nullptr), then feeds bytes: what the printer sent back.
    auto step = [&](bool Condition::*field, bool on, const std::string& bytes = "") {
        sent.clear();
        if (field != nullptr) c.*field = on, p.SetCondition(c);
        p.Feed(bytes);
        return sent;
    };
    EXPECT_EQ(step(&Condition::cover_open, true), "");  // automatic status back is off
    // DLE EOT 1: off-line; DLE EOT 2: because the cover is open.
    EXPECT_EQ(step(nullptr, 0, Bytes({0x10, 4, 1, 0x10, 4, 2})), Bytes({0x1A, 0x16}));
    EXPECT_EQ(step(nullptr, 0, Bytes({0x1D, 'a', 0x0F})), Bytes({0x38, 0, 0, 0}));  // GS a: a block at once
    EXPECT_EQ(step(&Condition::cover_open, false), Bytes({0x10, 0, 0, 0}));
    EXPECT_EQ(step(&Condition::paper_near_end, true), Bytes({0x10, 0, 0x03, 0}));
    EXPECT_EQ(step(&Condition::paper_end, true), Bytes({0x18, 0, 0x0F, 0}));
    EXPECT_EQ(step(nullptr, 0, Bytes({0x10, 4, 4})), Bytes({0x7E}));                   // both roll sensors
    EXPECT_EQ(step(nullptr, 0, Bytes({0x1D, 'a', 0x01})), Bytes({0x18, 0, 0x0F, 0}));  // the drawer only
    EXPECT_EQ(step(&Condition::paper_end, false), "");
    EXPECT_EQ(step(&Condition::drawer_high, true), Bytes({0x14, 0, 0x03, 0}));
}

// A printer whose replies are collected.
struct Listened {
    VirtualPrinter p;
    std::string sent;
    Listened() {
        p.set_reply_sink(
            [this](const uint8_t* b, size_t n) { sent.append(reinterpret_cast<const char*>(b), n); });
    }
    std::string Take() { return std::exchange(sent, ""); }
    void Set(bool Condition::*field, bool on) {
        Condition c = p.condition();
        c.*field = on;
        p.SetCondition(c);
    }
};

const std::string kAskAll = Bytes({0x10, 4, 1, 0x10, 4, 2, 0x10, 4, 3, 0x10, 4, 4});
std::string ProcessId(const std::string& id) {
    return Bytes({0x1D, '(', 'H', 6, 0, '0', '0'}) + id;
}

TEST(VirtualPrinter, EachConditionSetsItsBitsInTheRealTimeRepliesAndTheStatusBlock) {
    // Replies always carry bits 1 and 4 (0x12), a block's first byte bit 4 (0x10). Off line: DLE EOT 1
    // bit 3 and block byte 1 bit 3; an error: DLE EOT 2 bit 6 ("error occurred").
    const std::pair<bool Condition::*, std::string> rows[] = {
        {nullptr, "12 12 12 12 | 10 00 00 00"},
        {&Condition::drawer_high, "16 12 12 12 | 14 00 00 00"},          // pin 3 high
        {&Condition::offline, "1A 12 12 12 | 18 00 00 00"},              // off line, no cause named
        {&Condition::cover_open, "1A 16 12 12 | 38 00 00 00"},           // cover: EOT 2 bit 2, byte 1 bit 5
        {&Condition::paper_near_end, "12 12 12 1E | 10 00 03 00"},       // EOT 4 bits 2-3, byte 3 bits 0-1
        {&Condition::paper_end, "1A 32 12 72 | 18 00 0C 00"},            // stop: EOT 2 bit 5; EOT 4 bits 5-6
        {&Condition::feed_button, "5A 1A 12 12 | 58 02 00 00"},          // EOT 1 bit 6, EOT 2 bit 3
        {&Condition::waiting_recovery, "3A 12 12 12 | 18 01 00 00"},     // EOT 1 bit 5, byte 2 bit 0
        {&Condition::cutter_error, "1A 52 1A 12 | 18 08 00 00"},         // EOT 3 bit 3
        {&Condition::unrecoverable_error, "1A 52 32 12 | 18 20 00 00"},  // EOT 3 bit 5
        {&Condition::auto_recoverable_error, "1A 52 52 12 | 18 40 00 00"},  // EOT 3 bit 6
    };
    for (const auto& [field, expected] : rows) {
        Listened l;
        if (field != nullptr) l.Set(field, true);
        l.p.Feed(kAskAll + Bytes({0x1D, 'a', 0xFF}));
        const std::string got = l.Take();
        EXPECT_EQ(HexBytes({got.begin(), got.begin() + 4}) + " | " + HexBytes({got.begin() + 4, got.end()}),
                  expected);
    }
}

TEST(VirtualPrinter, StoppedMidReceiptItHoldsTheRestAnswersAtOnceAndGoesOnWhenTheCauseClears) {
    const std::string rest = "two\n" + ProcessId("0001") + "three\n" + Bytes({0x10, 4, 1});
    const std::string enq1 = Bytes({0x10, 5, 1}), enq2 = Bytes({0x10, 5, 2});
    // The cause, and the DLE ENQ a host recovers with (none: the cause clears).
    const std::pair<bool Condition::*, std::string> rows[] = {
        {&Condition::cover_open, ""},     {&Condition::paper_end, ""},
        {&Condition::offline, ""},        {&Condition::feed_button, ""},
        {&Condition::cutter_error, ""},   {&Condition::auto_recoverable_error, ""},
        {&Condition::cutter_error, enq1}, {&Condition::waiting_recovery, enq1},
        {&Condition::cutter_error, enq2},  // drops what is held: its process ID is never answered
    };
    for (const auto& [field, recovery] : rows) {
        Listened l;
        l.p.Feed("one\n");
        l.Set(field, true);
        l.p.Feed(rest);
        l.p.EndOfStream();
        const std::string answer = l.Take();  // at once: off line
        EXPECT_TRUE(answer.size() == 1 && (answer[0] & 0x08)) << HexBytes({answer.begin(), answer.end()});
        EXPECT_EQ(l.p.current().LineTexts(), std::vector<std::string>{"one"});
        if (recovery.empty()) l.Set(field, false);
        l.p.Feed(recovery);
        EXPECT_EQ(l.Take(), recovery == enq2 ? "" : "7\"0001" + std::string(1, '\0'));
        ASSERT_EQ(l.p.receipts().size(), 1u) << HexBytes({recovery.begin(), recovery.end()});
        const std::vector<std::string> whole = {"one", "two", "three"};
        EXPECT_EQ(l.p.receipts()[0].LineTexts(), recovery == enq2 ? std::vector<std::string>{"one"} : whole);
    }
}

TEST(VirtualPrinter, PowerLossEndsTheReceiptWhereItIsDropsTheRestAndComesBackWithPowerOnSettings) {
    Listened l;
    l.p.Feed(Bytes({0x1D, 'a', 0x0F, 0x1B, '!', 0x38}) + "one\n");
    l.Set(&Condition::paper_end, true);
    l.p.Feed("two\n" + ProcessId("0001"));
    l.Take();
    l.Set(&Condition::power_off, true);
    l.p.Feed("lost\n" + kAskAll);
    l.p.EndOfStream();
    l.Set(&Condition::paper_end, false);  // refilled while off: nothing to print
    l.Set(&Condition::power_off, false);
    EXPECT_EQ(l.Take(), "");
    EXPECT_EQ(l.p.asb_mask(), 0);
    l.p.Feed("three\n");
    l.p.EndOfStream();
    ASSERT_EQ(l.p.receipts().size(), 2u);
    EXPECT_EQ(l.p.receipts()[0].LineTexts(), std::vector<std::string>{"one"});
    EXPECT_FALSE(l.p.receipts()[0].cut);
    EXPECT_EQ(Describe(l.p.receipts()[1].lines.at(0)), "A u0 1x1 left 0 60x24");  // not double size
}

TEST(VirtualPrinter, PrinterPortReadsOnWhileStoppedAndAConnectionOfOnlyStatusCommandsLeavesNoReceipt) {
    LocalPrinter printer;
    EXPECT_EQ(printer.server.Control("paper-end").substr(0, 37), "ok cover=closed paper=end drawer=low ");
    {
        RawClient host(printer.server.port());
        host.Send("held\n" + ProcessId("0001") + Bytes({0x10, 4, 4}));
        EXPECT_EQ(host.Read(1), "\x7E");  // both roll sensors
        EXPECT_NE(printer.server.Control("status").find(" held=3"), std::string::npos);
        printer.server.Control("paper-ok");
        EXPECT_EQ(host.Read(7), "7\"0001" + std::string(1, '\0'));
    }
    {
        RawClient host(printer.server.port());
        host.Send(Bytes({0x1D, 'a', 0x0F, 0x10, 4, 1, 0x1D, 'r', 1}) + ProcessId("0002"));
        EXPECT_EQ(host.Read(4 + 1 + 1 + 7).substr(4), Bytes({0x12, 0, '7', '"', '0', '0', '0', '2', 0}));
    }
    ASSERT_TRUE(kesto::test::WaitUntil([&] { return printer.server.connections() == 2; }));
    const std::vector<Receipt> r = printer.Receipts(1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].LineTexts(), std::vector<std::string>{"held"});
    EXPECT_NE(printer.server.Control("status").find(" receipts=1 "), std::string::npos);
}

TEST(VirtualPrinter, AStoppedPrinterWhoseBufferIsFullReadsNoMoreUntilItPrintsOn) {
    LocalPrinter printer({}, 2);
    printer.server.Control("cover-open");
    RawClient host(printer.server.port());
    const int small = 4096;
    ::setsockopt(host.fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    auto held = [&] {
        const std::string status = printer.server.Control("status");
        return status.substr(status.rfind(' ') + 1);
    };
    host.Send(
        Bytes({0x1B, '=', 0}));  // fills the buffer; deselected, the printer prints none of what follows
    ASSERT_TRUE(kesto::test::WaitUntil([&] { return held() == "held=1"; }));
    const std::string more(4096, 'y');
    for (int i = 0; i < 10000 && ::send(host.fd, more.data(), more.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0;)
        ++i;  // until the sender has to wait
    EXPECT_EQ(held(), "held=1");
    printer.server.Control("cover-close");
    host.Send(Bytes({0x10, 4, 2}));
    EXPECT_EQ(host.Read(1), "\x12");  // read once the cover was shut
}

TEST(VirtualPrinter, PayloadsOver8MiBAreSkippedAndReceiptAndPageAreaAreCapped) {
    for (int rows : {32768, 32769}) {  // 256 bytes a row: 8 MiB, then one row more
        const Receipt r = PrintOne(Bytes({0x1D, 'v', '0', 0, 0, 1, rows & 0xFF, rows >> 8}) +
                                   std::string(256u * rows, '\x80') + "after\n");
        EXPECT_EQ(r.symbols.size(), rows == 32768 ? 1u : 0u);
        EXPECT_EQ(r.paper.height(), rows == 32768 ? 32768 : 30);  // the paper's cap, or the line after
    }
    std::string feeds;
    for (int i = 0; i < 200; ++i) feeds += Bytes({0x1B, 'J', 255});
    EXPECT_EQ(PrintOne(feeds + "end\n").paper.height(), 32768);
    // ESC L, ESC W asking for a 65535-dot high page, text, FF.
    const Receipt page = PrintOne(Bytes({0x1B, 'L', 0x1B, 'W', 0, 0, 0, 0, 0x40, 2, 0xFF, 0xFF}) + "x\x0C");
    EXPECT_EQ(page.paper.height(), 4096);
}

TEST(VirtualPrinter, ProgramStoppedBySigtermRendersEveryReceiptItReceived) {
    kesto::test::TempDir out;
    Child vp({KESTO_VIRTUAL_PRINTER, "--port", "0", "--out", out.path()});
    ASSERT_TRUE(vp.ReadUntil("\n")) << vp.output;  // listening on 127.0.0.1:PORT
    // The first connection is being served; the second waits behind it.
    const std::string address = vp.output.substr(13, vp.output.size() - 14);
    Handle first = Open(address), second = Open(address);
    ASSERT_EQ(KESTO_WriteData(first.get(), "first receipt\n", 14), 14);
    ASSERT_EQ(KESTO_WriteData(second.get(), "second receipt\n", 15), 15);
    vp.Signal(SIGTERM);
    EXPECT_EQ(vp.Finish(), 0) << vp.output;
    for (int n = 1; n <= 2; ++n) {
        const std::string file = out.path() + "/receipt-" + std::to_string(n);
        EXPECT_NE(ReadFile(file + ".txt").find(n == 1 ? "first receipt" : "second receipt"),
                  std::string::npos);
        EXPECT_EQ(ReadFile(file + ".png").substr(0, 4), "\x89PNG") << vp.output;
    }
}

}  // namespace
}  // namespace kesto::vprinter::test
