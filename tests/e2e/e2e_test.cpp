// The real library printing over TCP to the virtual printer in this process,
// and the kesto tool run as a program against it.
#include <cmath>
#include <regex>

#include "tools/virtual-printer/vp_support.h"

namespace kesto::vprinter::test {
namespace {

Receipt Sample(int (*print)(void*)) {
    const std::vector<Receipt> r = PrintOn([&](void* h) { EXPECT_EQ(print(h), 0); });
    // Each ends with its own cut.
    EXPECT_TRUE(r.size() == 1 && r[0].cut && r[0].transcript.back().find("partial cut") != std::string::npos);
    return r.empty() ? Receipt{} : r[0];
}

std::string Line(const Receipt& r, const std::string& text) {
    for (const TextLine& l : r.lines)
        if (l.text == text) return Describe(l);
    return "missing";
}

TEST(EndToEnd, SampleReceiptsOneAndThreeShowTheirLinesInTheirStyles) {
    const Receipt one = Sample(KESTO_PrintSampleReceipt1), three = Sample(KESTO_PrintSampleReceipt3);
    EXPECT_TRUE(one.symbols.empty() && three.symbols.empty());
    const std::tuple<const Receipt*, std::string, std::string> rows[] = {
        {&one, "CORNER DELI & COFFEE", "A u0 1x2 centre 168 240x48"},
        {&one, "Sourdough sandwich                 $8.50", "B u0 1x1 left 0 360x18"},
        {&three, " LANTERN BOOKS ", "A u0 rev 1x2 centre 198 180x48"},
        {&three, "Stories for every shelf", "B u1 1x1 centre 184 207x18"},
        {&three, "Sale", "A bold u0 1x2 centre 264 48x48"},
        {&three, "PayCardBBBBBBBBBBBBB", "A u0 2x2 centre 168 264x48"},
        {&three, "FFFFF", "A u0 7x1 left 25 420x24"},
    };
    for (const auto& [receipt, text, style] : rows) EXPECT_EQ(Line(*receipt, text), style) << text;
}

TEST(EndToEnd, SampleReceiptTwoAddsUpAndItsPdf417Scans) {
    const Receipt r = Sample(KESTO_PrintSampleReceipt2);
    const std::vector<std::string> lines = r.LineTexts();
    // Article lines: rate x quantity = amount; the amounts add up to the total of the 17 items.
    long cents = 0;
    size_t width = 0;
    auto money = [](const std::string& text) { return std::lround(std::stod(text) * 100); };
    for (const std::string& line : lines) {
        std::smatch m;
        if (!std::regex_match(line, m, std::regex(R"(^.{18}(\d+\.\d\d) +(\d+) +(\d+\.\d\d)$)"))) continue;
        EXPECT_EQ(money(m[1]) * std::stol(m[2]), money(m[3])) << line;
        cents += money(m[3]);
        width = line.size();
    }
    auto amount = [&](const std::string& label) {
        for (const std::string& l : lines)
            if (l.rfind(label, 0) == 0) return money(l.substr(l.rfind(' ') + 1));
        return -1L;
    };
    EXPECT_EQ(amount("Items: 17"), cents);
    EXPECT_EQ(amount("Cash paid") - cents, amount("Balance"));
    // The "=" rules over and under the total end with the amount column.
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](auto& l) { return l.find("===") != std::string::npos && l.size() == width; }),
              2);
    ASSERT_EQ(r.symbols.size(), 1u);
    EXPECT_EQ(Scan(r.paper, r.symbols[0]), "142");
}

TEST(EndToEnd, SampleReceiptFourPrintsTenCodesThatScanEvenlySpaced) {
    const Receipt r = Sample(KESTO_PrintSampleReceipt4);
    const char* const codes[] = {"UPC-A 012345678905",   "EAN-8 01234565",     "EAN-13 0123456789012",
                                 "ITF 0123456789",       "CODABAR 0123456789", "CODE39 0123456789",
                                 "CODE93 0123456789",    "CODE128 0123456789", "QR code KESTOTESTPRINT",
                                 "PDF417 KESTOTESTPRINT"};
    ASSERT_EQ(r.symbols.size(), 10u) << r.TranscriptText();
    auto gapAbove = [&](size_t n) { return r.symbols[n].y - r.symbols[n - 1].y - r.symbols[n - 1].height; };
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(r.symbols[i].kind + " " + Scan(r.paper, r.symbols[i]), codes[i]);
        EXPECT_TRUE(i == 0 || gapAbove(i) == gapAbove(1)) << codes[i];
    }
    EXPECT_EQ(Line(r, "THE END "), "A u0 1x2 left 0 96x48");
}

TEST(EndToEnd, CoverPaperAndDrawerChangesReachTheCallbackThroughTheStatusThread) {
    LocalPrinter printer;
    Handle h = Open(printer.Address());
    ASSERT_EQ(KESTO_OnPrinterError(h.get(), RecordCode), 1);
    auto after = [&](const std::function<void()>& change) {
        const size_t seen = Codes().size();
        change();
        EXPECT_TRUE(kesto::test::WaitUntil([&] { return Codes().size() > seen; }));
    };
    after([&] { ASSERT_EQ(KESTO_CreateStatusThread(h.get()), 1); });  // the first block: drawer pin low
    for (const char* command :
         {"cover-open", "cover-close", "paper-near-end", "paper-ok", "paper-end", "paper-ok"})
        after([&] { EXPECT_EQ(printer.server.Control(command).rfind("ok", 0), 0u) << command; });
    // A print makes the thread stand back; the drawer kick raises pin 3 until the drawer is shut.
    after([&] {
        EXPECT_EQ(KESTO_PrintText(h.get(), "kick", 4, false), 12);
        EXPECT_EQ(KESTO_OpenCashDrawerA(h.get(), 25, 250), 5);
    });
    after([&] { printer.server.Control("drawer-close"); });
    KESTO_DestroyStatusThread(h.get());
    // An empty roll trips both sensors: paper end (19), then its clearing (32).
    EXPECT_EQ(Codes(), (std::vector<int>{3, 7, 9, 24, 23, 19, 32, 6, 3}));
}

TEST(EndToEnd, LongTextArrivesWholeInFontAAndALongQrCodeScans) {
    std::string text, qr;  // more than a text block; a QR code whose length needs its high byte
    for (int i = 0; i < 1500; ++i) text += static_cast<char>('A' + i % 26);
    for (int i = 0; qr.size() < 1000; ++i) qr += std::to_string(i) + "; ";
    const std::string tooLong = "{B" + std::string(254, 'k');
    const std::vector<Receipt> r = PrintOn([&](void* h) {
        SelectCharFontB(h);  // KESTO_PrintText resets the printer first
        SetRightAllign(h);
        EXPECT_EQ(KESTO_PrintText(h, text.data(), 1500, false), 1508);
        EXPECT_EQ(KESTO_PrintBarcode(h, BARCODE_TYPE_CODE128, tooLong.data(), 256), -1);  // sends nothing
        EXPECT_EQ(KESTO_PrintBarcode(h, BARCODE_TYPE_QRCODE, qr.data(), static_cast<int>(qr.size())), 0);
    });
    ASSERT_EQ(r.size(), 1u);
    std::string printed;
    for (const TextLine& l : r[0].lines)
        printed += Describe(l).substr(0, 14) == "A u0 1x1 left " ? l.text : "?";
    EXPECT_EQ(printed, text);
    ASSERT_EQ(r[0].symbols.size(), 1u) << r[0].TranscriptText();
    EXPECT_EQ(Scan(r[0].paper, r[0].symbols[0]), qr);
}

}  // namespace

// kesto against the printer at `address`: what it wrote, then "exit" and its exit status.
std::string Kesto(const std::string& address, std::vector<std::string> args) {
    args.insert(args.begin(), {KESTO_CLI, "--tcp", address});
    Child kesto(args);
    const int status = kesto.Finish();
    return kesto.output + "exit " + std::to_string(status);
}

namespace {

TEST(KestoTool, CommandsPrintRefusalsSendNothingAndStatusReadsInWords) {
    LocalPrinter printer;
    const std::string a = printer.Address();
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"barcode", "aztec", "x"}, "unknown barcode type: aztec"},
        {{"barcode", "266", "x"},
         "unknown barcode type: 266"},  // the library would send nothing, and succeed
        {{"drawer", "A", "--on", "511"}, "--on takes 0 to 510 ms, not 511"},  // one byte of 2 ms units
        {{"drawer", "A", "--off", "-1"}, "--off takes 0 to 510 ms, not -1"},
        {{"status", "--watch", "soon"},
         "status --watch takes SECONDS as a whole number (0 watches until Ctrl-C)"},
        {{"receipt", "5"}, "receipt needs a number from 1 to 4"},
    };
    for (const auto& [args, reason] : refused) EXPECT_EQ(Kesto(a, args), "kesto: " + reason + "\nexit 1");
    EXPECT_EQ(printer.server.WithPrinter([](VirtualPrinter& p) { return p.current().transcript.size(); }),
              0u);
    EXPECT_EQ(Kesto(a, {"print", "hello"}), "exit 0");
    EXPECT_EQ(Kesto(a, {"receipt", "3"}), "exit 0");
    EXPECT_EQ(Kesto(a, {"barcode", "qr", "kesto from the shell"}), "exit 0");
    EXPECT_EQ(Kesto(a, {"drawer", "B", "--on", "100"}), "exit 0");
    // The kick springs the drawer open once the printer has read it; only then close it.
    EXPECT_TRUE(kesto::test::WaitUntil([&] {
        return printer.server.WithPrinter([](VirtualPrinter& p) { return p.condition().drawer_high; });
    }));
    printer.server.Control("drawer-close");
    printer.server.Control("cover-open");
    EXPECT_EQ(Kesto(a, {"status"}), "7 cover open\nstate: off-line, cover open\nexit 0");
    printer.server.Control("cover-close");
    printer.server.Control("paper-end");  // both roll sensors
    EXPECT_EQ(Kesto(a, {"status"}), "19 paper end\nstate: off-line, paper end, paper near end\nexit 0");
    printer.server.Control("paper-ok");
    EXPECT_EQ(Kesto(a, {"print", "after"}), "exit 0");
    const std::vector<Receipt> r = printer.Receipts(5);  // the status commands leave none
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[4].LineTexts(), std::vector<std::string>{"after"});
    EXPECT_EQ(r[0].LineTexts(), std::vector<std::string>{"hello"});
    EXPECT_EQ(Line(r[1], "Sale"), "A bold u0 1x2 centre 264 48x48");
    EXPECT_EQ(r[2].symbols.size() == 1 ? Scan(r[2].paper, r[2].symbols[0]) : "", "kesto from the shell");
    EXPECT_NE(r[3].TranscriptText().find("pin 5, on 100 ms, off 500 ms"), std::string::npos)
        << r[3].TranscriptText();
    EXPECT_NE(Kesto("127.0.0.1:0", {"print", "x"}).find("Connection refused"), std::string::npos);
}

TEST(KestoTool, StatusWatchZeroReportsChangesUntilSigintOrSigterm) {
    for (int signal : {SIGINT, SIGTERM}) {
        LocalPrinter printer;
        Child kesto({KESTO_CLI, "--tcp", printer.Address(), "status", "--watch", "0"});
        // The status thread has switched automatic status back on: now the cover opens.
        ASSERT_TRUE(kesto::test::WaitUntil(
            [&] { return printer.server.WithPrinter([](VirtualPrinter& p) { return p.asb_mask() != 0; }); }));
        printer.server.Control("cover-open");
        ASSERT_TRUE(kesto.ReadUntil("7 cover open\n")) << kesto.output;
        kesto.Signal(signal);
        EXPECT_EQ(kesto.Finish(), 0) << signal;
    }
}

}  // namespace
}  // namespace kesto::vprinter::test
