#pragma once

// The fixed ESC/POS commands the library sends, as constant tables shared by
// every device. Senders pick an entry by table name and a fixed index and hand
// its bytes, uncopied, to the transport. The tables are internal: hidden from
// the shared library's exports, visible to the command layer's senders.

#include <cstdint>
#include <string_view>

// One fixed command. `data` points at constant bytes, typed as the transport's
// Write takes them so an entry goes out without a cast or a copy; only the
// first `length` of them are sent (the entries hold 00 bytes of their own).
struct CommandSequence {
    const char* data;
    uint64_t length;

    // The entry as the bytes kesto::Send writes.
    operator std::string_view() const { return {data, static_cast<size_t>(length)}; }
};

// Tables with several entries.
extern const CommandSequence Enable_Printer[2];                     // ESC = 1 / ESC = 0
extern const CommandSequence Select_International_Char_Set[14];     // ESC R i
extern const CommandSequence Select_Char_Code_Table[30];            // ESC t n
extern const CommandSequence Select_Paper_End_Sensor_Enabled[5];    // ESC c 3 mask
extern const CommandSequence Select_Paper_Sensor_Stop_Printing[3];  // ESC c 4 mask
extern const CommandSequence Set_Feed_unit[2];                      // ESC J n, then 00
extern const CommandSequence Panel_Key[2];                          // ESC c '3' 4 / ESC c '4' 0

// Tables with one entry.
extern const CommandSequence Set_Horizontal_Vertical_Units[1];
extern const CommandSequence Reverse_Printing_ON[1];
extern const CommandSequence Reverse_Printing_OFF[1];
extern const CommandSequence Select_Char_Code_2[1];
extern const CommandSequence Select_Barcode_Size[1];
extern const CommandSequence Onetime_MM_Feed[1];
extern const CommandSequence Designate_Absolute_Print[1];
extern const CommandSequence Set_Barcode_Height[1];
extern const CommandSequence Set_Horizontal_Tabs[1];
extern const CommandSequence Set_Line_Feed[1];
extern const CommandSequence Print_N_Return2StdPageMode[1];
extern const CommandSequence Print_N_CarriageReturn[1];
extern const CommandSequence Cancel_PrintData_PageMode[1];
extern const CommandSequence Recover_Error_NPrint[1];
extern const CommandSequence Recover_Error_NCancel_Print[1];
extern const CommandSequence Print_In_PageMode[1];
extern const CommandSequence Select_CharFontA[1];
extern const CommandSequence SelectCharFontA_Bold[1];
extern const CommandSequence Cancel_DoubleHeight[1];
extern const CommandSequence SelectCharFontA_Double_Height[1];
extern const CommandSequence SelectCharFontA_Double_Width[1];
extern const CommandSequence SelectCharFontA_Underline[1];
extern const CommandSequence Select_CharFontB[1];
extern const CommandSequence SelectCharFontB_Bold[1];
extern const CommandSequence SelectCharFontB_Double_Height[1];
extern const CommandSequence SelectCharFontB_Double_Width[1];
extern const CommandSequence SelectCharFontB_Underline[1];
extern const CommandSequence Turn_UnderlineON_Thin[1];
// The two-dot underline (ESC - 2), so that "thick" differs from "thin".
extern const CommandSequence Turn_UnderlineON_Thick[1];
extern const CommandSequence Turn_UnderlineON_Off[1];
extern const CommandSequence Set_Default_LineSpacing[1];
extern const CommandSequence Turn_Bold_On[1];
extern const CommandSequence Turn_Bold_Off[1];
extern const CommandSequence Turn_DoubleStrike_On[1];
extern const CommandSequence Turn_DoubleStrike_Off[1];
extern const CommandSequence Select_PageMode[1];
extern const CommandSequence Select_StdMode[1];
extern const CommandSequence PageMode_Print_Left2Right[1];
extern const CommandSequence PageMode_Print_Bottom2Top[1];
extern const CommandSequence PageMode_PrintRight2Left[1];
extern const CommandSequence PageMode_PrintTop2Bottom[1];
extern const CommandSequence Turn90_ClockwiseRotation_ON[1];
extern const CommandSequence Turn90_ClockwiseRotation_Off[1];
extern const CommandSequence Set_LeftAllign[1];
extern const CommandSequence Set_CenterAllign[1];
extern const CommandSequence Set_RightAllign[1];
extern const CommandSequence Select_CharSize_Normal[1];  // ESC ! 0, not GS ! 0
extern const CommandSequence Select_CharSize_Height2[1];
extern const CommandSequence Select_CharSize_Height3[1];
extern const CommandSequence Select_CharSize_Height4[1];
extern const CommandSequence Select_CharSize_Height5[1];
extern const CommandSequence Select_CharSize_Height6[1];
extern const CommandSequence Select_CharSize_Height7[1];
extern const CommandSequence Select_CharSize_Height8[1];
extern const CommandSequence Select_CharSize_Width2[1];
extern const CommandSequence Select_CharSize_Width3[1];
extern const CommandSequence Select_CharSize_Width4[1];
extern const CommandSequence Select_CharSize_Width5[1];
extern const CommandSequence Select_CharSize_Width6[1];
extern const CommandSequence Select_CharSize_Width7[1];
extern const CommandSequence Select_CharSize_Width8[1];
extern const CommandSequence Barcode_UPCA[1];
extern const CommandSequence Barcode_UPCE[1];
extern const CommandSequence Barcode_EAN8[1];
extern const CommandSequence Barcode_EAN13[1];
extern const CommandSequence Barcode_ITF[1];
extern const CommandSequence Barcode_CODE39[1];
extern const CommandSequence QRcode_Model_Select[1];
extern const CommandSequence QRcode_Size[1];
extern const CommandSequence QRcode_Error_Level[1];
extern const CommandSequence QRcode_Print[1];
extern const CommandSequence PDF417_Col_Nos[1];
extern const CommandSequence PDF417_Row_Nos[1];
extern const CommandSequence PDF417_Width[1];
extern const CommandSequence PDF417_Height[1];
extern const CommandSequence PDF417_Error_Level[1];
extern const CommandSequence PDF417_Print[1];
extern const CommandSequence ASB_Printer_Status[1];
extern const CommandSequence Initilize_Printer[1];
