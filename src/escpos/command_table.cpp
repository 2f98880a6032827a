#include "escpos/command_table.h"

#include <cstddef>

namespace {

// An entry from a string literal of escaped bytes; the literal's own
// terminator is not part of the command, 00 bytes written in it are.
template <size_t N>
constexpr CommandSequence Seq(const char (&bytes)[N]) {
    return CommandSequence{bytes, N - 1};
}

}  // namespace

const CommandSequence Enable_Printer[2] = {
    Seq("\x1B\x3D\x01"),  // printer enabled
    Seq("\x1B\x3D\x00"),  // printer disabled
};

const CommandSequence Select_International_Char_Set[14] = {
    Seq("\x1B\x52\x00"), Seq("\x1B\x52\x01"), Seq("\x1B\x52\x02"), Seq("\x1B\x52\x03"), Seq("\x1B\x52\x04"),
    Seq("\x1B\x52\x05"), Seq("\x1B\x52\x06"), Seq("\x1B\x52\x07"), Seq("\x1B\x52\x08"), Seq("\x1B\x52\x09"),
    Seq("\x1B\x52\x0A"), Seq("\x1B\x52\x0B"), Seq("\x1B\x52\x0C"), Seq("\x1B\x52\x0D"),
};

const CommandSequence Select_Char_Code_Table[30] = {
    Seq("\x1B\x74\x00"), Seq("\x1B\x74\x01"), Seq("\x1B\x74\x02"), Seq("\x1B\x74\x03"), Seq("\x1B\x74\x04"),
    Seq("\x1B\x74\x05"), Seq("\x1B\x74\x0E"), Seq("\x1B\x74\x10"), Seq("\x1B\x74\x11"), Seq("\x1B\x74\x12"),
    Seq("\x1B\x74\x13"), Seq("\x1B\x74\x15"), Seq("\x1B\x74\x1A"), Seq("\x1B\x74\x21"), Seq("\x1B\x74\x22"),
    Seq("\x1B\x74\x24"), Seq("\x1B\x74\x25"), Seq("\x1B\x74\x29"), Seq("\x1B\x74\x2D"), Seq("\x1B\x74\x2E"),
    Seq("\x1B\x74\x2F"), Seq("\x1B\x74\x31"), Seq("\x1B\x74\x32"), Seq("\x1B\x74\x33"), Seq("\x1B\x74\x5F"),
    Seq("\x1B\x74\x60"), Seq("\x1B\x74\x61"), Seq("\x1B\x74\x62"), Seq("\x1B\x74\x63"), Seq("\x1B\x74\xFF"),
};

// The third byte is the value 03, not the digit '3' that Panel_Key uses.
const CommandSequence Select_Paper_End_Sensor_Enabled[5] = {
    Seq("\x1B\x63\x03\x00"), Seq("\x1B\x63\x03\x01"), Seq("\x1B\x63\x03\x02"),
    Seq("\x1B\x63\x03\x04"), Seq("\x1B\x63\x03\x08"),
};

const CommandSequence Select_Paper_Sensor_Stop_Printing[3] = {
    Seq("\x1B\x63\x04\x00"),
    Seq("\x1B\x63\x04\x01"),
    Seq("\x1B\x63\x04\x02"),
};

// The trailing 00 goes to the printer too.
const CommandSequence Set_Feed_unit[2] = {
    Seq("\x1B\x4A\x16\x00"),  // print and feed 22 units
    Seq("\x1B\x4A\x00\x00"),  // print, feed nothing
};

const CommandSequence Panel_Key[2] = {
    Seq("\x1B\x63\x33\x04"),  // the roll-end sensor reports paper end
    Seq("\x1B\x63\x34\x00"),  // no sensor stops printing
};

const CommandSequence Set_Horizontal_Vertical_Units[1] = {Seq("\x1D\x50\xB4\xB4")};
const CommandSequence Reverse_Printing_ON[1] = {Seq("\x1D\x42\x01")};
const CommandSequence Reverse_Printing_OFF[1] = {Seq("\x1D\x42\x00")};
const CommandSequence Select_Char_Code_2[1] = {Seq("\x1B\x74\x02")};
const CommandSequence Select_Barcode_Size[1] = {Seq("\x1D\x77\x02\x00")};
const CommandSequence Onetime_MM_Feed[1] = {Seq("\x1B\x4A\x2D\x00")};
const CommandSequence Designate_Absolute_Print[1] = {Seq("\x1B\x24\x2D\x00")};
const CommandSequence Set_Barcode_Height[1] = {Seq("\x1D\x68\x40")};
const CommandSequence Set_Horizontal_Tabs[1] = {Seq("\x09")};
const CommandSequence Set_Line_Feed[1] = {Seq("\x0A")};
const CommandSequence Print_N_Return2StdPageMode[1] = {Seq("\x0C")};
const CommandSequence Print_N_CarriageReturn[1] = {Seq("\x0D")};
const CommandSequence Cancel_PrintData_PageMode[1] = {Seq("\x18")};
const CommandSequence Recover_Error_NPrint[1] = {Seq("\x10\x05\x01")};
const CommandSequence Recover_Error_NCancel_Print[1] = {Seq("\x10\x05\x02")};
const CommandSequence Print_In_PageMode[1] = {Seq("\x1B\x0C")};
const CommandSequence Select_CharFontA[1] = {Seq("\x1B\x4D\x00")};
const CommandSequence SelectCharFontA_Bold[1] = {Seq("\x1B\x21\x08")};
const CommandSequence Cancel_DoubleHeight[1] = {Seq("\x1B\x21\x00")};
const CommandSequence SelectCharFontA_Double_Height[1] = {Seq("\x1B\x21\x10")};
const CommandSequence SelectCharFontA_Double_Width[1] = {Seq("\x1B\x21\x20")};
const CommandSequence SelectCharFontA_Underline[1] = {Seq("\x1B\x21\x80")};
const CommandSequence Select_CharFontB[1] = {Seq("\x1B\x4D\x01")};
const CommandSequence SelectCharFontB_Bold[1] = {Seq("\x1B\x21\x09")};
const CommandSequence SelectCharFontB_Double_Height[1] = {Seq("\x1B\x21\x11")};
const CommandSequence SelectCharFontB_Double_Width[1] = {Seq("\x1B\x21\x21")};
const CommandSequence SelectCharFontB_Underline[1] = {Seq("\x1B\x21\x81")};
const CommandSequence Turn_UnderlineON_Thin[1] = {Seq("\x1B\x2D\x01")};
const CommandSequence Turn_UnderlineON_Thick[1] = {Seq("\x1B\x2D\x02")};
const CommandSequence Turn_UnderlineON_Off[1] = {Seq("\x1B\x2D\x00")};
const CommandSequence Set_Default_LineSpacing[1] = {Seq("\x1B\x32")};
const CommandSequence Turn_Bold_On[1] = {Seq("\x1B\x45\x01")};
const CommandSequence Turn_Bold_Off[1] = {Seq("\x1B\x45\x00")};
const CommandSequence Turn_DoubleStrike_On[1] = {Seq("\x1B\x47\x01")};
const CommandSequence Turn_DoubleStrike_Off[1] = {Seq("\x1B\x47\x00")};
const CommandSequence Select_PageMode[1] = {Seq("\x1B\x4C")};
const CommandSequence Select_StdMode[1] = {Seq("\x1B\x53")};
const CommandSequence PageMode_Print_Left2Right[1] = {Seq("\x1B\x54\x00")};
const CommandSequence PageMode_Print_Bottom2Top[1] = {Seq("\x1B\x54\x01")};
const CommandSequence PageMode_PrintRight2Left[1] = {Seq("\x1B\x54\x02")};
const CommandSequence PageMode_PrintTop2Bottom[1] = {Seq("\x1B\x54\x03")};
const CommandSequence Turn90_ClockwiseRotation_ON[1] = {Seq("\x1B\x56\x01")};
const CommandSequence Turn90_ClockwiseRotation_Off[1] = {Seq("\x1B\x56\x00")};
const CommandSequence Set_LeftAllign[1] = {Seq("\x1B\x61\x00")};
const CommandSequence Set_CenterAllign[1] = {Seq("\x1B\x61\x01")};
const CommandSequence Set_RightAllign[1] = {Seq("\x1B\x61\x02")};
const CommandSequence Select_CharSize_Normal[1] = {Seq("\x1B\x21\x00")};
const CommandSequence Select_CharSize_Height2[1] = {Seq("\x1D\x21\x01")};
const CommandSequence Select_CharSize_Height3[1] = {Seq("\x1D\x21\x02")};
const CommandSequence Select_CharSize_Height4[1] = {Seq("\x1D\x21\x03")};
const CommandSequence Select_CharSize_Height5[1] = {Seq("\x1D\x21\x04")};
const CommandSequence Select_CharSize_Height6[1] = {Seq("\x1D\x21\x05")};
const CommandSequence Select_CharSize_Height7[1] = {Seq("\x1D\x21\x06")};
const CommandSequence Select_CharSize_Height8[1] = {Seq("\x1D\x21\x07")};
const CommandSequence Select_CharSize_Width2[1] = {Seq("\x1D\x21\x10")};
const CommandSequence Select_CharSize_Width3[1] = {Seq("\x1D\x21\x20")};
const CommandSequence Select_CharSize_Width4[1] = {Seq("\x1D\x21\x30")};
const CommandSequence Select_CharSize_Width5[1] = {Seq("\x1D\x21\x40")};
const CommandSequence Select_CharSize_Width6[1] = {Seq("\x1D\x21\x50")};
const CommandSequence Select_CharSize_Width7[1] = {Seq("\x1D\x21\x60")};
const CommandSequence Select_CharSize_Width8[1] = {Seq("\x1D\x21\x70")};
// GS k type selections; the barcode sender adds the data and the closing 00.
const CommandSequence Barcode_UPCA[1] = {Seq("\x1D\x6B\x00")};
const CommandSequence Barcode_UPCE[1] = {Seq("\x1D\x6B\x01")};
const CommandSequence Barcode_EAN8[1] = {Seq("\x1D\x6B\x03")};
const CommandSequence Barcode_EAN13[1] = {Seq("\x1D\x6B\x02")};
const CommandSequence Barcode_ITF[1] = {Seq("\x1D\x6B\x05")};
const CommandSequence Barcode_CODE39[1] = {Seq("\x1D\x6B\x04")};
// GS ( k: pL pH, cn (31 QR code, 30 PDF417), function, parameters.
const CommandSequence QRcode_Model_Select[1] = {Seq("\x1D\x28\x6B\x04\x00\x31\x41\x32\x00")};
const CommandSequence QRcode_Size[1] = {Seq("\x1D\x28\x6B\x03\x00\x31\x43\x03")};
const CommandSequence QRcode_Error_Level[1] = {Seq("\x1D\x28\x6B\x03\x00\x31\x45\x30")};
const CommandSequence QRcode_Print[1] = {Seq("\x1D\x28\x6B\x03\x00\x31\x51\x30")};
const CommandSequence PDF417_Col_Nos[1] = {Seq("\x1D\x28\x6B\x03\x00\x30\x41\x00")};
const CommandSequence PDF417_Row_Nos[1] = {Seq("\x1D\x28\x6B\x03\x00\x30\x42\x00")};
const CommandSequence PDF417_Width[1] = {Seq("\x1D\x28\x6B\x03\x00\x30\x43\x03")};
const CommandSequence PDF417_Height[1] = {Seq("\x1D\x28\x6B\x03\x00\x30\x44\x03")};
const CommandSequence PDF417_Error_Level[1] = {Seq("\x1D\x28\x6B\x04\x00\x30\x45\x30\x30")};
const CommandSequence PDF417_Print[1] = {Seq("\x1D\x28\x6B\x03\x00\x30\x51\x30")};
const CommandSequence ASB_Printer_Status[1] = {Seq("\x1D\x61\x0F\x00")};
const CommandSequence Initilize_Printer[1] = {Seq("\x1B\x40")};
