// Four fixed demonstration receipts, each a fixed run of exported calls.
// Results of the calls are not examined: a receipt is a smoke test of the
// printer and the library together.
#include <cstring>
#include <string>

#include "escpos/init_sequences.h"
#include "kesto/kesto.h"
#include "printer/device_handle.h"

namespace {

void Line(void* h, const char* text) {
    PrintText(h, text);
    LineFeed(h);
}

void PrintBarcodeText(void* h, int type, const char* data) {
    KESTO_PrintBarcode(h, type, data, static_cast<int>(std::strlen(data)));
}

// One line of receipt 3's size showcase: a size command, then a run of letters.
struct SizedRun {
    int (*select)(void*);
    const char* letters;
    void Print(void* h) const {
        select(h);
        Line(h, letters);
    }
};

}  // namespace

extern "C" {

KESTO_API int KESTO_PrintSampleReceipt1(void* h) {
    return kesto::WithPrinter(h, [&](Communication& comm) {
        SendInitCommand(&comm);

        SelectCharFontADoubleHeight(h);
        SetCenterAllign(h);
        Line(h, "CORNER DELI & COFFEE");

        SetCenterAllign(h);
        CancelDoubleHeight(h);
        Line(h, "12 Harbour Street, Lowmoor");

        SetCenterAllign(h);
        SelectCharFontB(h);
        PrintText(h, "06/12/2026  14:32   Till 2   Receipt 0481");
        PrintNFeedNLines(h, 3);

        SetLeftAllign(h);
        SelectCharFontB(h);
        Line(h, "Flat white, large                  $4.20");
        Line(h, "Sourdough sandwich                 $8.50");
        Line(h, "Almond croissant                   $3.80");

        SelectCharFontADoubleHeight(h);
        Line(h, "TOTAL                 $16.50");
        CancelDoubleHeight(h);
        Line(h, "---------------------------------------");
        Line(h, "Paid by card                    $20.00");
        PrintText(h, "Change                           $3.50");
        LineFeed(h);
        LineFeed(h);

        SelectCharFontADoubleHeight(h);
        SetCenterAllign(h);
        Line(h, "Thank you, see you soon!");
        CancelDoubleHeight(h);
        PrintNFeedNLines(h, 2);
        KESTO_FeedAndCutPaper(h);
        return 0;
    });
}

KESTO_API int KESTO_PrintSampleReceipt2(void* h) {
    return kesto::WithPrinter(h, [&](Communication& comm) {
        SendInitCommand(&comm);

        SelectCharFontADoubleHeight(h);
        SetCenterAllign(h);
        TurnBoldON(h);
        Line(h, "GREENFIELD GROCERS");
        TurnBoldOFF(h);

        SetCenterAllign(h);
        CancelDoubleHeight(h);
        Line(h, "Unit 4, Mill Lane Retail Park");
        Line(h, "Eastbrook EB3 7QT");
        Line(h, "Tel: 01632 960 418");

        SetLeftAllign(h);
        Line(h, "Date: 06/12/2026 10:05");
        TurnBoldON(h);
        PrintText(h, "Bill No: 20461        User: TILL03");
        TurnBoldOFF(h);
        PrintNFeedNLines(h, 2);
        Line(h, "Sales assistant: R. Okafor");

        const char* rule = "----------------------------------------";
        Line(h, rule);
        Line(h, "Product           Rate   Qty    Amount");
        Line(h, rule);

        static const char* const articles[] = {
            "Apples 1kg        2.40     2      4.80", "Brown bread       1.65     1      1.65",
            "Milk 2L           1.55     2      3.10", "Free-range eggs   3.20     1      3.20",
            "Cheddar 400g      4.10     1      4.10", "Pasta 500g        0.95     3      2.85",
            "Tomatoes tin      0.70     4      2.80", "Olive oil 1L      6.90     1      6.90",
            "Coffee 250g       4.50     1      4.50", "Bananas bunch     1.10     1      1.10",
        };
        for (const char* article : articles) Line(h, article);

        // The rules stand over the amount column, which ends with the line.
        const char* totalRule = "                               =======";
        Line(h, totalRule);
        Line(h, "Items: 17                 Total  35.00");
        Line(h, totalRule);

        SelectCharFontADoubleHeight(h);
        PrintText(h, "Net amount: 35");
        CancelDoubleHeight(h);
        LineFeed(h);
        Line(h, rule);

        Line(h, "Tenders");
        Line(h, "Cash paid                        40.00");
        Line(h, "Balance                           5.00");

        SetCenterAllign(h);
        KESTO_PrintBarcode(h, BARCODE_TYPE_PDF417, "142", 3);
        PrintNFeedNLines(h, 2);

        SelectCharFontB(h);
        SetCenterAllign(h);
        PrintText(h, "Thank you for shopping with us");
        PrintNFeedNLines(h, 4);
        KESTO_FeedAndCutPaper(h);
        return 0;
    });
}

KESTO_API int KESTO_PrintSampleReceipt3(void* h) {
    return kesto::Guarded(0, [&] {
        SelectCharFontADoubleHeight(h);
        SetCenterAllign(h);
        Set_Motion_Units(h, 80, 80);
        Set_Reverse_PrintingON(h);
        PrintText(h, " LANTERN BOOKS ");
        Set_Reverse_PrintingOFF(h);
        LineFeed(h);

        CancelDoubleHeight(h);
        SelectCharFontB(h);
        TurnUnderlineONThin(h);
        Line(h, "Stories for every shelf");
        TurnUnderlineOFF(h);
        PrintText(h, "3 Quay Row, Westhaven");
        PrintNFeedNLines(h, 2);

        SelectCharFontADoubleHeight(h);
        TurnBoldON(h);
        PrintText(h, "Sale");
        CancelDoubleHeight(h);
        TurnBoldOFF(h);
        PrintNFeedNLines(h, 1);

        SelectCharFontB(h);
        Turn90ClockwiseRotationON(h);
        SelectCharFontA(h);
        PrintText(h, " Rotataion Text ");
        Turn90ClockwiseRotationOFF(h);

        SetAbsolutePosition(h, 60, 70);
        LineFeed(h);

        SelectCharSize(h, 17);
        PrintText(h, "P");
        SelectCharSizeNormal(h);
        PrintText(h, "ay");
        SelectCharSize(h, 17);
        PrintText(h, "C");
        SelectCharSizeNormal(h);
        PrintText(h, "ard");

        SetLeftMargin(h, 10);
        Line(h, "BBBBBBBBBBBBB");

        SetCenterAllign(h);
        Line(h, "Card: XXXX XXXX XXXX 4821");
        Line(h, "Exp: 09/28   Type: DEBIT");

        SetLeftAllign(h);
        SelectCharFontA(h);
        Line(h, "Char Size Height 2 to 8");
        static const SizedRun kHeights[] = {{SelectCharSizeHeight2, "AAAA"}, {SelectCharSizeHeight3, "BBBB"},
                                            {SelectCharSizeHeight4, "CCCC"}, {SelectCharSizeHeight5, "DDDD"},
                                            {SelectCharSizeHeight6, "EEEE"}, {SelectCharSizeHeight7, "FFFF"},
                                            {SelectCharSizeHeight8, "GGGGG"}};
        for (const SizedRun& run : kHeights) run.Print(h);

        SelectCharSizeNormal(h);
        Line(h, "Char Size Width 2 to 8");
        static const SizedRun kWidths[] = {{SelectCharSizeWidth2, "AAAAA"}, {SelectCharSizeWidth3, "BBBBB"},
                                           {SelectCharSizeWidth4, "CCCCC"}, {SelectCharSizeWidth5, "DDDDD"},
                                           {SelectCharSizeWidth6, "EEEEE"}, {SelectCharSizeWidth7, "FFFFF"},
                                           {SelectCharSizeWidth8, "GGGGG"}};
        for (const SizedRun& run : kWidths) run.Print(h);

        SelectCharSizeNormal(h);
        LineFeed(h);
        PrintNFeedNLines(h, 4);
        PageModePrintBottom2Top(h);
        PrintInPageMode(h);
        KESTO_FeedAndCutPaper(h);
        return 0;
    });
}

KESTO_API int KESTO_PrintSampleReceipt4(void* h) {
    return kesto::Guarded(0, [&] {
        // Data each symbology accepts: UPC/EAN without their check digit (the
        // printer adds it), CODABAR framed by start and stop characters, CODE128
        // opened by a code-set selection.
        static const char kDigits[] = "0123456789";
        static const char kText[] = "KESTOTESTPRINT";
        SetLeftAllign(h);
        Line(h, " Barcode Test ");
        Line(h, " ************** ");
        Line(h, " UPCA Barcode Test ");
        PrintBarcodeText(h, BARCODE_TYPE_UPCA, "01234567890");

        struct Labelled {
            int type;
            const char* label;
            const char* data;
        };
        static const Labelled symbols[] = {{BARCODE_TYPE_EAN8, " EAN8 Barcode Test ", "0123456"},
                                           {BARCODE_TYPE_EAN13, " EAN13 Barcode Test ", "012345678901"},
                                           {BARCODE_TYPE_ITF, "ITF Barcode Test ", kDigits},
                                           {BARCODE_TYPE_CODABAR, "CodaBar Barcode Test ", "A0123456789B"},
                                           {BARCODE_TYPE_CODE39, " Code39 Barcode Test ", kDigits}};
        for (const Labelled& symbol : symbols) {
            PrintText(h, symbol.label);
            PrintNFeedNLines(h, 4);
            PrintBarcodeText(h, symbol.type, symbol.data);
        }

        PrintText(h, "Code93 Barcode Test ");
        PrintNFeedNLines(h, 4);
        PrintBarcodeText(h, BARCODE_TYPE_CODE93, kDigits);
        PrintNFeedNLines(h, 4);
        PrintBarcodeText(h, BARCODE_TYPE_CODE128, "{B0123456789");

        PrintText(h, "QR Code Barcode Test ");
        PrintNFeedNLines(h, 4);
        PrintBarcodeText(h, BARCODE_TYPE_QRCODE, kText);
        PrintText(h, "PDF417 Barcode Test ");
        PrintNFeedNLines(h, 4);
        PrintBarcodeText(h, BARCODE_TYPE_PDF417, kText);

        PrintNFeedNLines(h, 4);
        SelectCharFontADoubleHeight(h);
        Line(h, "THE END ");
        PrintNFeedNLines(h, 4);
        KESTO_FeedAndCutPaper(h);
        return 0;
    });
}

}  // extern "C"
