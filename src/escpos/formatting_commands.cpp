// The exported formatting family: one ESC/POS command per call, one write,
// no log and no print-in-progress flag (callers such as the sample receipts
// chain many of them).

#include "escpos/command_bytes.h"
#include "escpos/command_table.h"
#include "kesto/kesto.h"
#include "printer/device_handle.h"

namespace {

using kesto::Bytes;
using kesto::HighByte;

int SendTo(void* handle, kesto::ByteView bytes) {
    return kesto::WithPrinter(handle, [&](Communication& comm) { return kesto::Send(comm, bytes); });
}

}  // namespace

#define KESTO_FIXED_COMMAND(name, table, index) \
    KESTO_API int name(void* handle) {          \
        return SendTo(handle, (table)[index]);  \
    }

// A command built from its parameters: each one's low byte (or a byte of it) in place.
#define KESTO_BUILT_COMMAND(name, parameters, ...)   \
    KESTO_API int name parameters {                  \
        return SendTo(handle, Bytes({__VA_ARGS__})); \
    }

extern "C" {

KESTO_FIXED_COMMAND(Set_Reverse_PrintingON, Reverse_Printing_ON, 0)
KESTO_FIXED_COMMAND(Set_Reverse_PrintingOFF, Reverse_Printing_OFF, 0)
KESTO_FIXED_COMMAND(SetHorizontalTab, Set_Horizontal_Tabs, 0)
KESTO_FIXED_COMMAND(LineFeed, Set_Line_Feed, 0)
KESTO_FIXED_COMMAND(PrintNReturn2StdPageMode, Print_N_Return2StdPageMode, 0)
KESTO_FIXED_COMMAND(PrintNCarriageReturn, Print_N_CarriageReturn, 0)
KESTO_FIXED_COMMAND(CancelPrintDataPageMode, Cancel_PrintData_PageMode, 0)
KESTO_FIXED_COMMAND(RecoverErrorNPrint, Recover_Error_NPrint, 0)
KESTO_FIXED_COMMAND(RecoverErrorNCancelPrint, Recover_Error_NCancel_Print, 0)
KESTO_FIXED_COMMAND(PrintInPageMode, Print_In_PageMode, 0)
KESTO_FIXED_COMMAND(SelectCharFontA, Select_CharFontA, 0)
KESTO_FIXED_COMMAND(SelectCharFontABold, SelectCharFontA_Bold, 0)
KESTO_FIXED_COMMAND(CancelDoubleHeight, Cancel_DoubleHeight, 0)
KESTO_FIXED_COMMAND(SelectCharFontADoubleHeight, SelectCharFontA_Double_Height, 0)
KESTO_FIXED_COMMAND(SelectCharFontADoubleWidth, SelectCharFontA_Double_Width, 0)
KESTO_FIXED_COMMAND(SelectCharFontAUnderline, SelectCharFontA_Underline, 0)
KESTO_FIXED_COMMAND(SelectCharFontB, Select_CharFontB, 0)
KESTO_FIXED_COMMAND(SelectCharFontBBold, SelectCharFontB_Bold, 0)
KESTO_FIXED_COMMAND(SelectCharFontBDoubleHeight, SelectCharFontB_Double_Height, 0)
KESTO_FIXED_COMMAND(SelectCharFontBDoubleWidth, SelectCharFontB_Double_Width, 0)
KESTO_FIXED_COMMAND(SelectCharFontBUnderline, SelectCharFontB_Underline, 0)
KESTO_FIXED_COMMAND(TurnUnderlineONThin, Turn_UnderlineON_Thin, 0)
KESTO_FIXED_COMMAND(TurnUnderlineONThick, Turn_UnderlineON_Thick, 0)
KESTO_FIXED_COMMAND(TurnUnderlineOFF, Turn_UnderlineON_Off, 0)
KESTO_FIXED_COMMAND(SetDefaultLineSpacing, Set_Default_LineSpacing, 0)
KESTO_FIXED_COMMAND(EnablePrinter, Enable_Printer, 0)
KESTO_FIXED_COMMAND(DisablePrinter, Enable_Printer, 1)
KESTO_FIXED_COMMAND(TurnBoldON, Turn_Bold_On, 0)
KESTO_FIXED_COMMAND(TurnBoldOFF, Turn_Bold_Off, 0)
KESTO_FIXED_COMMAND(TurnDoubleStrikeON, Turn_DoubleStrike_On, 0)
KESTO_FIXED_COMMAND(TurnDoubleStrikeOFF, Turn_DoubleStrike_Off, 0)
KESTO_FIXED_COMMAND(SelectPageMode, Select_PageMode, 0)
KESTO_FIXED_COMMAND(SelectStdMode, Select_StdMode, 0)
KESTO_FIXED_COMMAND(PageModePrintLeft2Right, PageMode_Print_Left2Right, 0)
KESTO_FIXED_COMMAND(PageModePrintBottom2Top, PageMode_Print_Bottom2Top, 0)
KESTO_FIXED_COMMAND(PageModePrintRight2Left, PageMode_PrintRight2Left, 0)
KESTO_FIXED_COMMAND(PageModePrintTop2Bottom, PageMode_PrintTop2Bottom, 0)
KESTO_FIXED_COMMAND(Turn90ClockwiseRotationON, Turn90_ClockwiseRotation_ON, 0)
KESTO_FIXED_COMMAND(Turn90ClockwiseRotationOFF, Turn90_ClockwiseRotation_Off, 0)
KESTO_FIXED_COMMAND(SetLeftAllign, Set_LeftAllign, 0)
KESTO_FIXED_COMMAND(SetCenterAllign, Set_CenterAllign, 0)
KESTO_FIXED_COMMAND(SetRightAllign, Set_RightAllign, 0)
KESTO_FIXED_COMMAND(SelectCharSizeNormal, Select_CharSize_Normal, 0)
KESTO_FIXED_COMMAND(SelectCharSizeHeight2, Select_CharSize_Height2, 0)
KESTO_FIXED_COMMAND(SelectCharSizeHeight3, Select_CharSize_Height3, 0)
KESTO_FIXED_COMMAND(SelectCharSizeHeight4, Select_CharSize_Height4, 0)
KESTO_FIXED_COMMAND(SelectCharSizeHeight5, Select_CharSize_Height5, 0)
KESTO_FIXED_COMMAND(SelectCharSizeHeight6, Select_CharSize_Height6, 0)
KESTO_FIXED_COMMAND(SelectCharSizeHeight7, Select_CharSize_Height7, 0)
KESTO_FIXED_COMMAND(SelectCharSizeHeight8, Select_CharSize_Height8, 0)
KESTO_FIXED_COMMAND(SelectCharSizeWidth2, Select_CharSize_Width2, 0)
KESTO_FIXED_COMMAND(SelectCharSizeWidth3, Select_CharSize_Width3, 0)
KESTO_FIXED_COMMAND(SelectCharSizeWidth4, Select_CharSize_Width4, 0)
KESTO_FIXED_COMMAND(SelectCharSizeWidth5, Select_CharSize_Width5, 0)
KESTO_FIXED_COMMAND(SelectCharSizeWidth6, Select_CharSize_Width6, 0)
KESTO_FIXED_COMMAND(SelectCharSizeWidth7, Select_CharSize_Width7, 0)
KESTO_FIXED_COMMAND(SelectCharSizeWidth8, Select_CharSize_Width8, 0)

KESTO_BUILT_COMMAND(SelectPage, (void* handle, int p1), 0x1B, 0x74, p1)
// GS L takes the margin as a low and a high byte, so margins above 255 dots
// reach the printer intact.
KESTO_BUILT_COMMAND(SetLeftMargin, (void* handle, int p1), 0x1D, 0x4C, p1, HighByte(p1))
KESTO_BUILT_COMMAND(SelectCharSize, (void* handle, int p1), 0x1D, 0x21, p1)
KESTO_BUILT_COMMAND(SetPrintDirection, (void* handle, int p1), 0x1B, 0x54, p1)
KESTO_BUILT_COMMAND(Set_Barcode_Width, (void* handle, int p1), 0x1D, 0x77, p1)
// ESC W: the page-mode printing area, the command that takes eight bytes
// (x, y, width, height, each low byte first).
KESTO_BUILT_COMMAND(Set_Print_Range,
                    (void* handle, int p1, int p2, int p3, int p4, int p5, int p6, int p7, int p8), 0x1B,
                    0x57, p1, p2, p3, p4, p5, p6, p7, p8)
KESTO_BUILT_COMMAND(Set_Motion_Units, (void* handle, int p1, int p2), 0x1D, 0x50, p1, p2)
KESTO_BUILT_COMMAND(SetPrinting_Position, (void* handle, int p1), 0x1D, 0x48, p1)
KESTO_BUILT_COMMAND(SetRightsideCharSpacing, (void* handle, int p1), 0x1B, 0x20, p1)
KESTO_BUILT_COMMAND(SetAbsolutePosition, (void* handle, int p1, int p2), 0x1B, 0x24, p1, p2)
KESTO_BUILT_COMMAND(SetLinSpacing, (void* handle, int p1), 0x1B, 0x33, p1)
// Exactly four bytes: the tab list stays open unless p2 is 0.
KESTO_BUILT_COMMAND(SetHorizontalTabSpace, (void* handle, int p1, int p2), 0x1B, 0x44, p1, p2)
KESTO_BUILT_COMMAND(PrintNFeedPaper, (void* handle, int p1), 0x1B, 0x4A, p1)
KESTO_BUILT_COMMAND(SetStartPrintPosition, (void* handle, int p1, int p2), 0x1B, 0x5C, p1, p2)
KESTO_BUILT_COMMAND(PrintNFeedNLines, (void* handle, int p1), 0x1B, 0x64, p1)

}  // extern "C"
