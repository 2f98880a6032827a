// Text in the shop's language: the library's UTF-8 text through the code
// tables to the virtual printer, which gives back what it printed.
#include "tools/virtual-printer/vp_support.h"

namespace kesto::vprinter::test {

std::string Kesto(const std::string& address, std::vector<std::string> args);

namespace {

TEST(EndToEnd, EveryScriptComesBackFromTheReceiptAsWritten) {
    const struct {
        Multibyte font;
        std::vector<int> list;  // empty: the default list
        std::vector<std::string> lines;
    } rows[] = {
        {Multibyte::kGb18030,
         {},
         {"Café crème 5,00 € — merci", "Grüße aus Köln, 3,50 €", "¿Qué tal? Año nuevo: 2,00 €",
          "Łódź, Příliš žluťoučký kůň", "Привет · Καλημέρα"}},
        {Multibyte::kGb18030, {16, KESTO_CODES_GB18030}, {"你好，世界 9,90 €", "こんにちは"}},
        {Multibyte::kGb18030, {0, KESTO_CODES_SHIFT_JIS}, {"こんにちは 日本語", "Grüße"}},  // FS C 1
        {Multibyte::kBig5, {KESTO_CODES_BIG5}, {"臺灣 你好"}},
        {Multibyte::kKsc5601, {KESTO_CODES_KSC5601}, {"안녕하세요"}},
    };
    for (const auto& row : rows) {
        LocalPrinter printer({576, 0, row.font});
        Handle h = Open(printer.Address());
        if (!row.list.empty())
            ASSERT_EQ(KESTO_SetCodeTables(h.get(), row.list.data(), static_cast<int>(row.list.size())), 1);
        for (const std::string& line : row.lines) {
            const std::string text = line + "\n";
            ASSERT_GT(KESTO_PrintTextUtf8(h.get(), text.data(), static_cast<int>(text.size())), 0);
        }
        h.reset();
        const Receipt r = printer.Receipts(1).at(0);
        EXPECT_EQ(r.LineTexts(), row.lines) << r.TranscriptText();
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
