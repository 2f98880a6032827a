#include "escpos/init_sequences.h"

#include <initializer_list>

#include "escpos/command_table.h"
#include "transport/communication.h"

namespace {

// Commands of the basic reset that no table holds.
const CommandSequence kAllPrintModesOff = {"\x1B\x21\x00", 3};
const CommandSequence kReverseOff = {"\x1D\x42\x00", 3};

void WriteAll(Communication* comm, std::initializer_list<const CommandSequence*> commands) {
    if (comm == nullptr) return;
    for (const CommandSequence* command : commands) {
        // A failed write does not end the run; the caller's later writes report.
        try {
            kesto::WriteCommand(comm, *command);
        } catch (...) {
        }
    }
}

}  // namespace

void SendInitCommand(Communication* comm) {
    WriteAll(comm, {&Initilize_Printer[0], &Enable_Printer[0], &kAllPrintModesOff, &kReverseOff});
}

void SendInitCommand2(Communication* comm) {
    WriteAll(comm, {
                       &Select_International_Char_Set[0],
                       &Select_Char_Code_Table[2],
                       &Select_Paper_End_Sensor_Enabled[2],
                       &Select_Paper_Sensor_Stop_Printing[0],
                       &Set_Horizontal_Vertical_Units[0],
                       &Set_Feed_unit[0],
                       &Set_Feed_unit[1],
                   });
}

void SendBarcodeInitCommand(Communication* comm) {
    SendInitCommand(comm);
    WriteAll(comm, {
                       &Enable_Printer[0],
                       &Select_International_Char_Set[0],
                       &Select_Char_Code_Table[2],
                       &Panel_Key[0],
                       &Panel_Key[1],
                       &Set_Horizontal_Vertical_Units[0],
                       &Select_Char_Code_2[0],
                       &Select_Barcode_Size[0],
                       &Onetime_MM_Feed[0],
                       &Designate_Absolute_Print[0],
                       &Set_Barcode_Height[0],
                   });
}
