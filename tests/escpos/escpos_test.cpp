#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "escpos/init_sequences.h"
#include "fixtures/recording_communication.h"
#include "support/test_support.h"

namespace kesto::test {
namespace {

// Initialise, printer enabled, every print mode off, reverse printing off.
const std::string kInit = "1B 40 | 1B 3D 01 | 1B 21 00 | 1D 42 00";
// International set 0, code table 2, paper-end sensor bit 1, no sensor stops printing,
// motion units 180/180, feed 22 units, feed nothing (each feed with a 00 behind).
const std::string kInit2 =
    "1B 52 00 | 1B 74 02 | 1B 63 03 02 | 1B 63 04 00 | 1D 50 B4 B4 | 1B 4A 16 00 | 1B 4A 00 00";
// Then enabled, set 0, table 2, roll-end sensor, no stop sensor, motion units, table 2,
// module width 2 (00 behind), feed 45, absolute position 45, barcode height 64.
const std::string kBarcodeInit = kInit + " | 1B 3D 01 | 1B 52 00 | 1B 74 02 | 1B 63 33 04 | 1B 63 34 00 | " +
                                 "1D 50 B4 B4 | 1B 74 02 | 1D 77 02 00 | 1B 4A 2D 00 | 1B 24 2D 00 | " +
                                 "1D 68 40";

#define CALL(expr) [](void* h) { return expr; }
// clang-format off
const struct {
    std::function<int(void*)> send;
    const char* hex;
} kFormatting[] = {
    {Set_Reverse_PrintingON, "1D 42 01"}, {Set_Reverse_PrintingOFF, "1D 42 00"}, {SetHorizontalTab, "09"},
    {LineFeed, "0A"}, {PrintNReturn2StdPageMode, "0C"}, {PrintNCarriageReturn, "0D"},
    {CancelPrintDataPageMode, "18"}, {RecoverErrorNPrint, "10 05 01"}, {RecoverErrorNCancelPrint, "10 05 02"},
    {PrintInPageMode, "1B 0C"}, {SelectCharFontA, "1B 4D 00"}, {SelectCharFontB, "1B 4D 01"},
    // ESC ! n: bit 0 font B, bit 3 emphasized, 4 double height, 5 double width, 7 underline.
    {CancelDoubleHeight, "1B 21 00"}, {SelectCharSizeNormal, "1B 21 00"}, {SelectCharFontABold, "1B 21 08"},
    {SelectCharFontBBold, "1B 21 09"}, {SelectCharFontADoubleHeight, "1B 21 10"},
    {SelectCharFontBDoubleHeight, "1B 21 11"}, {SelectCharFontADoubleWidth, "1B 21 20"},
    {SelectCharFontBDoubleWidth, "1B 21 21"}, {SelectCharFontAUnderline, "1B 21 80"},
    {SelectCharFontBUnderline, "1B 21 81"}, {TurnUnderlineOFF, "1B 2D 00"}, {TurnUnderlineONThin, "1B 2D 01"},
    {TurnUnderlineONThick, "1B 2D 02"}, {SetDefaultLineSpacing, "1B 32"}, {DisablePrinter, "1B 3D 00"},
    {EnablePrinter, "1B 3D 01"}, {TurnBoldOFF, "1B 45 00"}, {TurnBoldON, "1B 45 01"},
    {TurnDoubleStrikeOFF, "1B 47 00"}, {TurnDoubleStrikeON, "1B 47 01"}, {SelectPageMode, "1B 4C"},
    {SelectStdMode, "1B 53"}, {PageModePrintLeft2Right, "1B 54 00"}, {PageModePrintBottom2Top, "1B 54 01"},
    {PageModePrintRight2Left, "1B 54 02"}, {PageModePrintTop2Bottom, "1B 54 03"},
    {Turn90ClockwiseRotationOFF, "1B 56 00"}, {Turn90ClockwiseRotationON, "1B 56 01"},
    {SetLeftAllign, "1B 61 00"}, {SetCenterAllign, "1B 61 01"}, {SetRightAllign, "1B 61 02"},
    // GS ! n: height magnification minus one in bits 0-2, width in bits 4-6.
    {SelectCharSizeHeight2, "1D 21 01"}, {SelectCharSizeHeight3, "1D 21 02"},
    {SelectCharSizeHeight4, "1D 21 03"}, {SelectCharSizeHeight5, "1D 21 04"},
    {SelectCharSizeHeight6, "1D 21 05"}, {SelectCharSizeHeight7, "1D 21 06"},
    {SelectCharSizeHeight8, "1D 21 07"}, {SelectCharSizeWidth2, "1D 21 10"},
    {SelectCharSizeWidth3, "1D 21 20"}, {SelectCharSizeWidth4, "1D 21 30"},
    {SelectCharSizeWidth5, "1D 21 40"}, {SelectCharSizeWidth6, "1D 21 50"},
    {SelectCharSizeWidth7, "1D 21 60"}, {SelectCharSizeWidth8, "1D 21 70"},
    // Parameters go out as their low byte; 16-bit values as low byte, high byte.
    {CALL(SelectPage(h, 0x113)), "1B 74 13"}, {CALL(SetLeftMargin(h, 300)), "1D 4C 2C 01"},
    {CALL(SelectCharSize(h, 0x111)), "1D 21 11"}, {CALL(SetPrintDirection(h, 3)), "1B 54 03"},
    {CALL(Set_Barcode_Width(h, 258)), "1D 77 02"}, {CALL(SetPrinting_Position(h, 2)), "1D 48 02"},
    {CALL(Set_Print_Range(h, 0x101, 2, 3, 4, 5, 6, 7, 8)), "1B 57 01 02 03 04 05 06 07 08"},
    {CALL(Set_Motion_Units(h, 180, 0x1B4)), "1D 50 B4 B4"},
    {CALL(SetRightsideCharSpacing(h, -1)), "1B 20 FF"}, {CALL(SetAbsolutePosition(h, 60, 1)), "1B 24 3C 01"},
    {CALL(SetLinSpacing(h, 30)), "1B 33 1E"}, {CALL(SetHorizontalTabSpace(h, 8, 0)), "1B 44 08 00"},
    {CALL(PrintNFeedPaper(h, 22)), "1B 4A 16"}, {CALL(SetStartPrintPosition(h, -10, 255)), "1B 5C F6 FF"},
    {CALL(PrintNFeedNLines(h, 3)), "1B 64 03"}};
// clang-format on

TEST(FormattingCommands, OneWriteOfTheCommandEachWithoutLogOrFlag) {
    ClearLog();
    RecordingPrinter unreachable(false);
    for (const auto& command : kFormatting) {
        RecordingPrinter printer;
        EXPECT_EQ(command.send(printer.Handle()), static_cast<int>(H(command.hex).size())) << command.hex;
        EXPECT_EQ(printer.comm.Sent(), command.hex) << command.hex;
        EXPECT_FALSE(printer.comm.Records().at(0).printing) << command.hex;
        printer.comm.failAll = true;  // the transport's result
        EXPECT_EQ(command.send(printer.Handle()), -1) << command.hex;
        EXPECT_EQ(command.send(unreachable.Handle()) + command.send(nullptr), -2) << command.hex;
    }
    EXPECT_EQ(unreachable.comm.Sent() + ReadLog(), "");
}

TEST(InitRuns, EachCommandInItsOwnWriteAndFailuresDoNotEndTheRun) {
    ClearLog();
    const std::pair<void (*)(Communication*), std::string> runs[] = {
        {SendInitCommand, kInit}, {SendInitCommand2, kInit2}, {SendBarcodeInitCommand, kBarcodeInit}};
    for (const auto& [send, expected] : runs) {
        for (int failure = 0; failure < 3; ++failure) {
            RecordingComm comm;
            comm.failAll = failure == 1;
            comm.throwOnWrite = failure == 2;
            send(&comm);
            EXPECT_EQ(comm.Sent(), expected) << "failure mode " << failure;
            for (const Recorded& write : comm.Records()) EXPECT_FALSE(write.printing);
        }
    }
    EXPECT_EQ(ReadLog(), "");
}

TEST(PrintText, FontAThenTheBlockThenAFeedWhileTheFlagIsUp) {
    const std::string longText(5000, 'x');
    // What follows ESC @, ESC ! 0 and three zero bytes, and what is logged: no further than the length.
    // clang-format off
    const struct { std::string text; int length; std::string sent, logged; } rows[] = {
        {"abc", 3, "abc", "abc"}, {"abc", 5, std::string("abc\0\0", 5), "abc"}, {"abcdef", 3, "abc", "abc"},
        {std::string("ab\0cd", 5), 5, std::string("ab\0\0\0", 5), "ab"}, {"abc", 0, "", ""},
        {longText, 5000, longText, longText}};
    // clang-format on
    for (const auto& row : rows) {
        RecordingPrinter printer;
        ClearLog();
        EXPECT_EQ(KESTO_PrintText(printer.Handle(), row.text.data(), row.length, false), row.length + 8);
        const std::string block = H("1B 40 1B 21 00 00 00 00") + row.sent;
        EXPECT_EQ(printer.comm.Sent(), "1B 4D 00 | " + Hex(block) + " | 1B 64 01");
        for (const Recorded& write : printer.comm.Records()) EXPECT_TRUE(write.printing);
        EXPECT_FALSE(g_bPrintInProgress);
        const std::string logged = "KESTO_PrintText Text " + row.logged;  // long entries are cut
        EXPECT_EQ(LogMessages().at(0).substr(0, 40), logged.substr(0, 40));
    }
}

TEST(PrintText, RefusalsFailuresAndTheRawText) {
    RecordingPrinter printer, unreachable(false);
    void* const away = unreachable.Handle();
    ClearLog();
    EXPECT_EQ(KESTO_PrintText(away, "abc", -1, false), -1);
    EXPECT_EQ(LogMessages().at(0), "KESTO_PrintText Text ");          // a negative length logs no text
    EXPECT_EQ(KESTO_PrintText(away, "abc", INT_MAX - 7, false), -1);  // too long for one write
    EXPECT_EQ(KESTO_PrintText(away, nullptr, 3, false) + PrintText(away, nullptr), -2);
    EXPECT_EQ(unreachable.GetLastError(), 0);  // refused before connecting
    EXPECT_EQ(KESTO_PrintText(away, "abc", 3, false) + PrintText(away, "abc"), -2);
    EXPECT_EQ(KESTO_PrintText(nullptr, "abc", 3, false), -1);
    EXPECT_EQ(unreachable.comm.Sent(), "");

    printer.comm.failWrite = 1;  // the block: its result is the call's, and the feed still goes out
    EXPECT_EQ(KESTO_PrintText(printer.Handle(), "abc", 3, false), -1);
    EXPECT_EQ(printer.comm.Records().size(), 3u);
    EXPECT_FALSE(g_bPrintInProgress);
    printer.comm.throwOnWrite = true;
    EXPECT_EQ(KESTO_PrintText(printer.Handle(), "abc", 3, false), -1);
    EXPECT_FALSE(g_bPrintInProgress);

    RecordingPrinter raw;
    EXPECT_EQ(PrintText(raw.Handle(), "hello\r\n"), 7);
    EXPECT_EQ(raw.comm.Sent(), Hex("hello\r\n"));
    EXPECT_FALSE(raw.comm.Records().at(0).printing);
}

TEST(CutAndDrawer, CommandsAndResults) {
    RecordingPrinter printer, drawer, unreachable(false);
    EXPECT_EQ(KESTO_CutPaper(printer.Handle()), 2);
    EXPECT_EQ(KESTO_FeedAndCutPaper(printer.Handle()), 4);
    // ESC i: partial cut; GS V 66 3: feed 3 units and cut partially.
    EXPECT_EQ(printer.comm.Sent(), kInit + " | 1B 69 | 1D 56 42 03");
    for (const Recorded& write : printer.comm.Records()) EXPECT_TRUE(write.printing);
    // ESC p m t1 t2: m 0x30 is connector pin 2, 0x31 pin 5; the times' low bytes.
    EXPECT_EQ(KESTO_OpenCashDrawerA(drawer.Handle(), 25, 250), 5);
    EXPECT_EQ(KESTO_OpenCashDrawerB(drawer.Handle(), 256 + 25, -6), 5);
    EXPECT_EQ(drawer.comm.Sent(), "1B 70 30 19 FA | 1B 70 31 19 FA");

    for (void* handle : {static_cast<void*>(nullptr), unreachable.Handle()}) {
        EXPECT_EQ(KESTO_CutPaper(handle) + KESTO_FeedAndCutPaper(handle), -2);
        EXPECT_EQ(KESTO_OpenCashDrawerA(handle, 1, 1) + KESTO_OpenCashDrawerB(handle, 1, 1), -2);
    }
    EXPECT_EQ(unreachable.comm.Sent(), "");
}

TEST(ReplaceInString, FirstCharacterOfEachOccurrenceGivesWay) {
    const char* const rows[][4] = {{"a-b-c", "-", "+", "a+b+c"},    {"a-b-c", "-", "", "abc"},
                                   {"xabyab", "ab", "Z", "xZbyZb"}, {"none", "-", "+", "none"},
                                   {"a-b", "", "+", "a-b"},  // an empty pattern changes nothing
                                   {"aa", "a", "aa", "aaaa"},       {"a-b-", "-", "--", "a--b--"}};
    for (const auto& row : rows) EXPECT_EQ(replaceinString(row[0], row[1], row[2]), row[3]) << row[0];
}

TEST(Barcode, EachTypeFramesItsDataAfterTheInitRun) {
    const std::string qr(1000, 'q'), pdf(253, 'p');
    // clang-format off
    const struct { int type; std::string data, sent; } rows[] = {
        // GS k m d... NUL: m 0 UPC-A, 1 UPC-E, 2 EAN13, 3 EAN8, 4 CODE39, 5 ITF, 6 CODABAR.
        {BARCODE_TYPE_UPCA, "0", " | 1D 6B 00 | 30 | 00"}, {BARCODE_TYPE_UPCE, "1", " | 1D 6B 01 | 31 | 00"},
        {BARCODE_TYPE_EAN13, "2", " | 1D 6B 02 | 32 | 00"}, {BARCODE_TYPE_EAN8, "3", " | 1D 6B 03 | 33 | 00"},
        {BARCODE_TYPE_CODE39, "4", " | 1D 6B 04 | 34 | 00"}, {BARCODE_TYPE_ITF, "5", " | 1D 6B 05 | 35 | 00"},
        {BARCODE_TYPE_CODABAR, "A1B", " | 1D 6B 06 | 41 31 42 | 00"},
        // GS k m n d1...dn: m 72 CODE93, 73 CODE128.
        {BARCODE_TYPE_CODE93, "AB", " | 1D 6B 48 02 | 41 42"},
        {BARCODE_TYPE_CODE128, "{B7", " | 1D 6B 49 03 | 7B 42 37"},
        // GS ( k pL pH cn fn ...: model 2, module size 3, level L, store (length + 3), print.
        {BARCODE_TYPE_QRCODE, qr, " | 1D 28 6B 04 00 31 41 32 00 | 1D 28 6B 03 00 31 43 03 | "
         "1D 28 6B 03 00 31 45 30 | 1D 28 6B EB 03 31 50 30 | " + Hex(qr) + " | 1D 28 6B 03 00 31 51 30"},
        // Columns and rows automatic, module width 3, row height 3, error ratio 0, store, print.
        {BARCODE_TYPE_PDF417, pdf, " | 1D 28 6B 03 00 30 41 00 | 1D 28 6B 03 00 30 42 00 | "
         "1D 28 6B 03 00 30 43 03 | 1D 28 6B 03 00 30 44 03 | 1D 28 6B 04 00 30 45 30 30 | "
         "1D 28 6B 00 01 30 50 30 | " + Hex(pdf) + " | 1D 28 6B 03 00 30 51 30"},
        {266, "1", ""}, {0, "1", ""}};  // types not assigned: the init run alone
    // clang-format on
    for (const auto& row : rows) {
        RecordingPrinter printer;
        const int length = static_cast<int>(row.data.size());
        EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), row.type, row.data.data(), length), 0) << row.type;
        EXPECT_EQ(printer.comm.Sent(), kBarcodeInit + row.sent) << row.type;
        for (const Recorded& write : printer.comm.Records()) EXPECT_TRUE(write.printing);
        EXPECT_FALSE(g_bPrintInProgress);
    }
}

TEST(Barcode, LengthsTheCommandCannotCarryAndMissingDataAreRefusedUnsent) {
    const std::string data(65533, '7');
    RecordingPrinter printer, unreachable(false), qr, failing;
    for (int type : {BARCODE_TYPE_CODE93, BARCODE_TYPE_CODE128})
        EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), type, data.data(), 256), -1) << type;
    for (int type : {BARCODE_TYPE_QRCODE, BARCODE_TYPE_PDF417})
        EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), type, data.data(), 65533), -1) << type;
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), BARCODE_TYPE_CODE39, data.data(), -1), -1);
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), BARCODE_TYPE_CODE39, nullptr, 3), -1);
    EXPECT_EQ(KESTO_PrintBarcode(unreachable.Handle(), BARCODE_TYPE_CODE39, "1", 1), -1);
    EXPECT_EQ(KESTO_PrintBarcode(nullptr, BARCODE_TYPE_CODE39, "1", 1), -1);
    EXPECT_EQ(printer.comm.Sent() + unreachable.comm.Sent(), "");

    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), BARCODE_TYPE_CODE128, data.data(), 255), 0);
    EXPECT_EQ(Hex(printer.comm.Records().at(15).bytes), "1D 6B 49 FF");
    EXPECT_EQ(KESTO_PrintBarcode(qr.Handle(), BARCODE_TYPE_QRCODE, data.data(), 65532), 0);
    EXPECT_EQ(Hex(qr.comm.Records().at(18).bytes), "1D 28 6B FF FF 31 50 30");
    // The writes' results are not the call's; the data is read, and logged, no further than its length.
    failing.comm.failAll = true;
    const char unterminated[3] = {'A', 'B', 'C'};
    EXPECT_EQ(KESTO_PrintBarcode(failing.Handle(), BARCODE_TYPE_CODE39, unterminated, 3), 0);
    EXPECT_EQ(failing.comm.Sent(), kBarcodeInit + " | 1D 6B 04 | 41 42 43 | 00");
}

TEST(SampleReceipts, ResultsAndTheCodesOfReceiptFour) {
    int (*const receipts[])(void*) = {KESTO_PrintSampleReceipt1, KESTO_PrintSampleReceipt2,
                                      KESTO_PrintSampleReceipt3, KESTO_PrintSampleReceipt4};
    RecordingPrinter unreachable(false);
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(receipts[n](nullptr), n < 2 ? -1 : 0) << "receipt " << n + 1;
        EXPECT_EQ(receipts[n](unreachable.Handle()), n < 2 ? -1 : 0) << "receipt " << n + 1;
        RecordingPrinter printer;
        EXPECT_EQ(receipts[n](printer.Handle()), 0) << "receipt " << n + 1;
        EXPECT_EQ(Hex(printer.comm.Records().back().bytes), "1D 56 42 03") << "receipt " << n + 1;
    }
    EXPECT_EQ(unreachable.comm.Sent(), "");
    RecordingPrinter printer;  // each code of receipt four stands four lines (ESC d 4) below its label
    KESTO_PrintSampleReceipt4(printer.Handle());
    const std::string sent = printer.comm.Sent();
    for (std::string code : {" EAN8", " EAN13", "ITF", "CodaBar", " Code39", "Code93", "QR Code", "PDF417"})
        EXPECT_NE(sent.find(Hex(code + " Barcode Test ") + " | 1B 64 04 | 1B 40"), sent.npos) << code;
}

}  // namespace
}  // namespace kesto::test
