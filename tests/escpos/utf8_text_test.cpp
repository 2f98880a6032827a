// UTF-8 text through the code tables: each table checked byte for byte against
// glibc's iconv, and what the encoder sends decoded back with iconv.
#include "escpos/utf8_text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <map>

#include "escpos/code_tables.h"
#include "fixtures/recording_communication.h"
#include "support/test_support.h"

namespace kesto::test {
namespace {

// The character sets of the ESC t tables as iconv names them (Katakana: the
// one-byte codes of Shift JIS).
const std::map<int, const char*> kCharsets = {
    {0, "IBM437"},  {1, "SHIFT_JIS"}, {2, "IBM850"},  {3, "IBM860"},  {4, "IBM863"},  {5, "IBM865"},
    {14, "CP737"},  {16, "CP1252"},   {17, "IBM866"}, {18, "IBM852"}, {19, "IBM858"}, {33, "CP775"},
    {34, "IBM855"}, {36, "IBM862"},   {37, "IBM864"}, {45, "CP1250"}, {46, "CP1251"}, {47, "CP1253"},
    {49, "CP1255"}, {50, "CP1256"},   {51, "CP1257"}};

// Bytes in `charset` to UTF-8; "" when iconv refuses them.
std::string Decode(const char* charset, const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-8", charset);
    std::string in = bytes, out(bytes.size() * 4 + 8, '\0');
    char *inp = in.data(), *outp = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    // A flush: CP1255 holds back a letter that a following point might combine with.
    const bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &outp, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    return ok ? out.substr(0, out.size() - outLeft) : "";
}

// What a printer makes of the bytes: ESC t switches the table, FS & ... FS .
// reads the multibyte font `multibyte`. Also the ESC t numbers in order, and
// whether the printer is left in kanji mode.
struct Printed {
    std::string text, tables;
    bool kanji = false;
};
Printed Print(const std::string& bytes, const char* multibyte = "GB18030") {
    Printed p;
    int table = 0;
    bool& kanji = p.kanji;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0x1B && bytes[i + 1] == 't') {
            table = static_cast<unsigned char>(bytes[i + 2]);
            p.tables += (p.tables.empty() ? "" : " ") + std::to_string(table);
            i += 2;
        } else if (b == 0x1C) {
            kanji = bytes[++i] == '&';
        } else if (b < 0x80) {
            p.text += static_cast<char>(b);
        } else if (kanji) {
            const size_t n = bytes[i + 1] >= '0' && bytes[i + 1] <= '9' ? 4 : 2;  // GB18030's four-byte codes
            p.text += Decode(multibyte, bytes.substr(i, n));
            i += n - 1;
        } else {
            p.text += Decode(kCharsets.at(table), bytes.substr(i, 1));
        }
    }
    return p;
}

TEST(CodeTables, EveryTableHoldsWhatIconvReadsInItsUpperHalfAndFindsItBack) {
    int known = 0;
    for (int n = 0; n < 256; ++n) known += IsCodeTableEntry(n);
    EXPECT_EQ(known, static_cast<int>(kCharsets.size()));
    for (const auto& [number, charset] : kCharsets) {
        const int table = CodeTableIndex(number);
        ASSERT_GE(table, 0) << number;
        for (int byte = 0x80; byte < 0x100; ++byte) {
            const std::string expected = Decode(charset, std::string(1, static_cast<char>(byte)));
            const char32_t cp = CodeTableChar(table, static_cast<uint8_t>(byte));
            std::string held;
            if (cp != 0) held = Decode("UTF-32LE", std::string(reinterpret_cast<const char*>(&cp), 4));
            ASSERT_EQ(held, expected) << "table " << number << " byte " << byte;
            if (cp == 0) continue;
            ASSERT_TRUE(TablesHolding(cp) & (1u << table));
            ASSERT_EQ(CodeTableChar(table, CodeTableByte(cp, table)), cp);
        }
    }
    for (int entry : {6, 95, 99, 255, 260, -1}) EXPECT_FALSE(IsCodeTableEntry(entry)) << entry;
}

TEST(Utf8Text, EachScriptComesBackThroughFewSwitchesAndWhatNothingHoldsIsAQuestionMark) {
    const std::vector<int> none;  // the default list
    // clang-format off
    const struct { std::vector<int> list; std::string text, printed, tables; const char* font = "GB18030"; } rows[] = {
        {none, "Grüße, señor", "Grüße, señor", "0"},
        // One table holds it all: é and € are both in WPC1252, the first such of the list.
        {none, "Café 5,00 €", "Café 5,00 €", "16"},
        {none, "Łódź, Příliš žluťoučký kůň", "Łódź, Příliš žluťoučký kůň", "18"},
        {none, "Привет · Καλημέρα", "Привет · Καλημέρα", "17 14"},
        {{17, 0}, "Привет ü", "Привет ü", "17 0"},
        {{0}, "5 € ☃", "5 ? ?", ""},
        {none, "日本", "??", ""},
        {{16, KESTO_CODES_GB18030}, "€ 你好 😀", "€ 你好 😀", "16"},
        {{KESTO_CODES_BIG5}, "臺灣", "臺灣", "", "BIG5"},
        {{KESTO_CODES_KSC5601}, "한국어", "한국어", "", "EUC-KR"},
        // Invalid UTF-8: each byte of a cut sequence, an overlong form, a surrogate, a code
        // point above U+10FFFF or a stray continuation byte is one '?'; nothing else is lost.
        {none, "a\xE2\x82" "b\xC3", "a??b?", ""},
        {none, "\xC0\xAF|\xE0\x80\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\x80\xFF", "??|???|???|????|??", ""},
        {none, "é\xC3(é", "é?(é", "0"},
    };
    // clang-format on
    for (const auto& row : rows) {
        RecordingPrinter printer;
        if (!row.list.empty())
            ASSERT_EQ(
                KESTO_SetCodeTables(printer.Handle(), row.list.data(), static_cast<int>(row.list.size())), 1);
        const int length = static_cast<int>(row.text.size());
        const int written = KESTO_PrintTextUtf8(printer.Handle(), row.text.data(), length);
        ASSERT_EQ(printer.comm.Records().size(), 1u);
        const std::string sent = printer.comm.Records()[0].bytes;
        EXPECT_EQ(written, static_cast<int>(sent.size()));
        const Printed p = Print(sent, row.font);
        EXPECT_EQ(p.text, row.printed) << row.text;
        EXPECT_EQ(p.tables, row.tables) << row.text;
        EXPECT_FALSE(p.kanji) << row.text;
    }
}

TEST(Utf8Text, AsciiIsPrintTextsBytesAndTheCallLogsRaisesTheFlagAndRefusesNonsense) {
    RecordingPrinter utf8, raw, unreachable(false);
    const std::string ascii =
        "\tThank you\x1B"
        "E\x01 12.50?\n";
    ClearLog();
    EXPECT_EQ(KESTO_PrintTextUtf8(utf8.Handle(), ascii.data(), static_cast<int>(ascii.size())), 21);
    EXPECT_EQ(PrintText(raw.Handle(), ascii.c_str()), 21);
    EXPECT_EQ(utf8.comm.Sent(), raw.comm.Sent());
    EXPECT_TRUE(utf8.comm.Records().at(0).printing);
    EXPECT_FALSE(g_bPrintInProgress);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"KESTO_PrintTextUtf8 Text " + ascii.substr(0, 20), "",
                                                       "KESTO_PrintTextUtf8 nBytesWritten 21"}));
    // The length counts: a longer buffer's rest is not sent, a zero byte within it is.
    EXPECT_EQ(KESTO_PrintTextUtf8(utf8.Handle(), "ab\0cd", 4), 4);
    EXPECT_EQ(utf8.comm.Records().at(1).bytes, std::string("ab\0c", 4));

    void* const away = unreachable.Handle();
    EXPECT_EQ(KESTO_PrintTextUtf8(away, "abc", 3), -1);
    EXPECT_EQ(KESTO_PrintTextUtf8(utf8.Handle(), nullptr, 3) + KESTO_PrintTextUtf8(utf8.Handle(), "a", -1),
              -2);
    EXPECT_EQ(KESTO_PrintTextUtf8(nullptr, "abc", 3), -1);
    EXPECT_EQ(utf8.comm.Records().size(), 2u);
    utf8.comm.failAll = true;
    EXPECT_EQ(KESTO_PrintTextUtf8(utf8.Handle(), "é", 2), -1);
    EXPECT_FALSE(g_bPrintInProgress);

    // A refused list changes nothing; the list belongs to its handle; count 0 restores the default.
    RecordingPrinter cyrillic, other;
    const int good[] = {46}, bad[] = {46, 96};
    EXPECT_EQ(KESTO_SetCodeTables(cyrillic.Handle(), good, 1), 1);
    EXPECT_EQ(KESTO_SetCodeTables(cyrillic.Handle(), bad, 2), -1);
    EXPECT_EQ(KESTO_SetCodeTables(cyrillic.Handle(), good, -1) + KESTO_SetCodeTables(nullptr, good, 1), -2);
    EXPECT_EQ(KESTO_SetCodeTables(cyrillic.Handle(), nullptr, 1), -1);
    const std::string word = "Ёж";
    for (RecordingPrinter* p : {&cyrillic, &other}) KESTO_PrintTextUtf8(p->Handle(), word.data(), 4);
    EXPECT_EQ(cyrillic.comm.Sent(), "1B 74 2E A8 E6");  // WPC1251: Ё A8, ж E6
    EXPECT_EQ(other.comm.Sent(), "1B 74 11 F0 A6");     // PC866, the default list's first for both
    EXPECT_EQ(KESTO_SetCodeTables(cyrillic.Handle(), nullptr, 0), 1);
    KESTO_PrintTextUtf8(cyrillic.Handle(), word.data(), 4);
    EXPECT_EQ(cyrillic.comm.Records().at(1).bytes, other.comm.Records().at(0).bytes);
    EXPECT_EQ(unreachable.comm.Sent(), "");
}

}  // namespace
}  // namespace kesto::test
