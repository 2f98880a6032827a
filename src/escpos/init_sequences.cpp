#include "escpos/init_sequences.h"

#include <initializer_list>

#include "escpos/command_bytes.h"
#include "escpos/command_table.h"
#include "transport/communication.h"

namespace {

void SendEach(Communication* comm, std::initializer_list<const CommandSequence*> commands) {
    if (comm == nullptr) return;
    for (const CommandSequence* command : commands) {
        // A failed write does not end the run; the caller's later writes report.
        try {
            kesto::Send(*comm, *command);
        } catch (...) {
        }
    }
}

}  // namespace

void SendInitCommand(Communication* comm) {
    // ESC ! 0 (every print mode off) is the entry of the normal character size.
    SendEach(comm, {&Initilize_Printer[0], &Enable_Printer[0], &Select_CharSize_Normal[0],
                    &Reverse_Printing_OFF[0]});
}

void SendInitCommand2(Communication* comm) {
    SendEach(comm, {
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
    SendEach(comm, {
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
