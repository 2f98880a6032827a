// The tables whose senders live elsewhere (barcodes, two-dimensional codes,
// status thread, images) and the shape of the several-entry tables; the
// entries the command layer sends itself are checked through their senders.

#include "escpos/command_table.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "escpos/command_bytes.h"
#include "fixtures/recording_communication.h"

namespace kesto::test {
namespace {

std::string BytesOf(const CommandSequence& command) {
    return std::string(command.data, static_cast<size_t>(command.length));
}

TEST(CommandTable, SeveralEntryTablesHaveTheirSizeAndPattern) {
    EXPECT_EQ(std::size(Enable_Printer), 2u);
    EXPECT_EQ(std::size(Select_International_Char_Set), 14u);
    EXPECT_EQ(std::size(Select_Char_Code_Table), 30u);
    EXPECT_EQ(std::size(Select_Paper_End_Sensor_Enabled), 5u);
    EXPECT_EQ(std::size(Select_Paper_Sensor_Stop_Printing), 3u);
    EXPECT_EQ(std::size(Set_Feed_unit), 2u);
    EXPECT_EQ(std::size(Panel_Key), 2u);

    for (size_t i = 0; i < std::size(Select_International_Char_Set); ++i) {
        EXPECT_EQ(BytesOf(Select_International_Char_Set[i]),
                  Bytes({0x1B, 0x52, static_cast<unsigned char>(i)}))
            << "entry " << i;
    }
    const unsigned char codeTables[30] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x0E, 0x10, 0x11, 0x12,
                                          0x13, 0x15, 0x1A, 0x21, 0x22, 0x24, 0x25, 0x29, 0x2D, 0x2E,
                                          0x2F, 0x31, 0x32, 0x33, 0x5F, 0x60, 0x61, 0x62, 0x63, 0xFF};
    for (size_t i = 0; i < 30; ++i) {
        EXPECT_EQ(BytesOf(Select_Char_Code_Table[i]), Bytes({0x1B, 0x74, codeTables[i]})) << "entry " << i;
    }
    const unsigned char endMasks[5] = {0x00, 0x01, 0x02, 0x04, 0x08};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(BytesOf(Select_Paper_End_Sensor_Enabled[i]), Bytes({0x1B, 0x63, 0x03, endMasks[i]}));
    }
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(BytesOf(Select_Paper_Sensor_Stop_Printing[i]),
                  Bytes({0x1B, 0x63, 0x04, static_cast<unsigned char>(i)}));
    }
}

TEST(CommandTable, EntriesForOtherSendersHoldTheirExactBytes) {
    struct Row {
        const char* name;
        const CommandSequence& command;
        const char* hex;
    };
    const Row rows[] = {
        {"Barcode_UPCA", Barcode_UPCA[0], "1D 6B 00"},
        {"Barcode_UPCE", Barcode_UPCE[0], "1D 6B 01"},
        {"Barcode_EAN8", Barcode_EAN8[0], "1D 6B 03"},
        {"Barcode_EAN13", Barcode_EAN13[0], "1D 6B 02"},
        {"Barcode_ITF", Barcode_ITF[0], "1D 6B 05"},
        {"Barcode_CODE39", Barcode_CODE39[0], "1D 6B 04"},
        {"QRcode_Model_Select", QRcode_Model_Select[0], "1D 28 6B 04 00 31 41 32 00"},
        {"QRcode_Size", QRcode_Size[0], "1D 28 6B 03 00 31 43 03"},
        {"QRcode_Error_Level", QRcode_Error_Level[0], "1D 28 6B 03 00 31 45 30"},
        {"QRcode_Print", QRcode_Print[0], "1D 28 6B 03 00 31 51 30"},
        {"PDF417_Col_Nos", PDF417_Col_Nos[0], "1D 28 6B 03 00 30 41 00"},
        {"PDF417_Row_Nos", PDF417_Row_Nos[0], "1D 28 6B 03 00 30 42 00"},
        {"PDF417_Width", PDF417_Width[0], "1D 28 6B 03 00 30 43 03"},
        {"PDF417_Height", PDF417_Height[0], "1D 28 6B 03 00 30 44 03"},
        {"PDF417_Error_Level", PDF417_Error_Level[0], "1D 28 6B 04 00 30 45 30 30"},
        {"PDF417_Print", PDF417_Print[0], "1D 28 6B 03 00 30 51 30"},
        {"ASB_Printer_Status", ASB_Printer_Status[0], "1D 61 0F 00"},
        {"Initilize_Printer", Initilize_Printer[0], "1B 40"},
        {"Set_Feed_unit[1]", Set_Feed_unit[1], "1B 4A 00 00"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Hex(BytesOf(row.command)), Hex(FromHex(row.hex))) << row.name;
        EXPECT_GE(row.command.length, 1u);
        EXPECT_LE(row.command.length, 9u);
    }
}

TEST(CommandTable, WriteCommandHandsTheTableBytesToTheTransport) {
    RecordingCommunication comm;
    EXPECT_EQ(Send(comm, ASB_Printer_Status[0]), 4);
    comm.ShortWrites(1);
    EXPECT_EQ(Send(comm, Initilize_Printer[0]), 1);
    const auto records = comm.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].bytes, FromHex("1D 61 0F 00"));
    EXPECT_EQ(records[0].timeout, 0);
    EXPECT_EQ(records[1].bytes, FromHex("1B 40"));
}

}  // namespace
}  // namespace kesto::test
