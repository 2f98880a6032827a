// Text in the shop's language: the library's UTF-8 text through the code
// tables to the virtual printer, which gives back what it printed.
#include "tools/virtual-printer/vp_support.h"

namespace kesto::vprinter::test {

std::string Kesto(const std::string& address, std::vector<std::string> args);

namespace {

// The ESC t tables a receipt selected, in order, and " kanji" when it leaves kanji mode on.
std::string Switches(const Receipt& r) {
    const std::string t = r.TranscriptText(), escT = "ESC t: character code table ";
    std::string tables;
    for (size_t at = t.find(escT); at != std::string::npos; at = t.find(escT, at + 1))
        tables += (tables.empty() ? "" : " ") + std::to_string(std::atoi(t.c_str() + at + escT.size()));
    return tables + (t.rfind("FS &") + 1 > t.rfind("FS .") + 1 ? " kanji" : "");
}

TEST(EndToEnd, EveryScriptComesBackThroughFewSwitchesAndWhatNothingHoldsIsAQuestionMark) {
    using M = Multibyte;
    const std::vector<int> none;  // the default list
    // clang-format off
    const struct { M font; std::vector<int> list; std::vector<std::string> lines, printed; const char* tables; } rows[] = {
        {M::kGb18030, none, {"Grüße, señor"}, {}, "0"},
        // One table holds a line: é, € and — are all in WPC1252, the first such of the list;
        // each call selects its table anew.
        {M::kGb18030, none, {"Café crème 5,00 € — merci", "Grüße aus Köln, 3,50 €", "¿Qué tal? Año nuevo: 2,00 €",
                             "Łódź, Příliš žluťoučký kůň", "Привет · Καλημέρα"}, {}, "16 16 16 18 17 14"},
        {M::kGb18030, {17, 0}, {"Привет ü"}, {}, "17 0"},
        {M::kGb18030, {0}, {"5 € ☃"}, {"5 ? ?"}, ""},
        {M::kGb18030, none, {"日本"}, {"??"}, ""},
        {M::kGb18030, {16, KESTO_CODES_GB18030}, {"你好，世界 9,90 €", "こんにちは 😀"}, {}, "16"},
        {M::kGb18030, {0, KESTO_CODES_SHIFT_JIS}, {"こんにちは 日本語", "Grüße"}, {}, "0"},  // FS C 1
        {M::kBig5, {KESTO_CODES_BIG5}, {"臺灣 你好"}, {}, ""},
        {M::kKsc5601, {KESTO_CODES_KSC5601}, {"안녕하세요 한국어"}, {}, ""},
        // Invalid UTF-8: each byte of a cut sequence, an overlong form, a surrogate, a code
        // point above U+10FFFF or a stray continuation byte is one '?'; nothing else is lost.
        {M::kGb18030, none, {"a\xE2\x82" "b\xC3", "\xC0\xAF|\xE0\x80\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\x80\xFF",
                             "é\xC3(é"}, {"a??b?", "??|???|???|????|??", "é?(é"}, "0"},
    };
    // clang-format on
    for (const auto& row : rows) {
        LocalPrinter printer({576, 0, row.font});
        Handle h = Open(printer.Address());
        if (!row.list.empty()) {
            ASSERT_EQ(KESTO_SetCodeTables(h.get(), row.list.data(), static_cast<int>(row.list.size())), 1);
        }
        for (const std::string& line : row.lines) {  // a cut sequence may end the call's text
            ASSERT_GT(KESTO_PrintTextUtf8(h.get(), line.data(), static_cast<int>(line.size())), 0);
            ASSERT_EQ(KESTO_PrintTextUtf8(h.get(), "\n", 1), 1);
        }
        h.reset();
        const Receipt r = printer.Receipts(1).at(0);
        EXPECT_EQ(r.LineTexts(), row.printed.empty() ? row.lines : row.printed) << r.TranscriptText();
        EXPECT_EQ(Switches(r), row.tables) << r.TranscriptText();
    }
}

TEST(KestoTool, PrintsTheLocalesTextThroughTheCodeTablesOrTheBytesAsTheyAre) {
    LocalPrinter printer;
    const std::string a = printer.Address();
    const std::string shop = "Café 5,00 € · Grüße · Łódź · Привет · Καλημέρα";
    EXPECT_EQ(Kesto(a, {"print", shop}), "exit 0");
    EXPECT_EQ(Kesto(a, {"print", "--multibyte", "gb18030", "你好", "こんにちは"}), "exit 0");
    EXPECT_EQ(Kesto(a, {"print", "--code-tables", "17,0", "Ёж ü"}), "exit 0");
    EXPECT_EQ(Kesto(a, {"print", "--raw", "Café"}), "exit 0");
    EXPECT_EQ(Kesto(a, {"print", "--code-tables", "0,96", "x"}),
              "kesto: the code tables were refused\nexit 1");
    EXPECT_EQ(Kesto(a, {"print", "--code-tables", "0,x", "x"}),
              "kesto: --code-tables needs numbers like 0,19,17: 0,x\nexit 1");
    const std::vector<Receipt> r = printer.Receipts(4);  // the refused lists sent nothing
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].LineTexts(), std::vector<std::string>{shop});
    EXPECT_EQ(r[1].LineTexts(), (std::vector<std::string>{"你好", "こんにちは"}));
    EXPECT_EQ(r[2].LineTexts(), std::vector<std::string>{"Ёж ü"});
    EXPECT_NE(r[2].TranscriptText().find("ESC t: character code table 17"), std::string::npos);
    // The shell's UTF-8 bytes of é, C3 A9, read as PC437 from a printer just reset.
    EXPECT_EQ(r[3].LineTexts(), std::vector<std::string>{"Caf├⌐"});
}

}  // namespace
}  // namespace kesto::vprinter::test
