#include "escpos/init_sequences.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/recording_communication.h"
#include "support/log_reader.h"

namespace kesto::test {
namespace {

std::vector<std::string> HexWrites(const RecordingCommunication& comm) {
    std::vector<std::string> writes;
    for (const std::string& bytes : comm.Writes()) writes.push_back(Hex(bytes));
    return writes;
}

const std::vector<std::string> kInit = {"1B 40", "1B 3D 01", "1B 21 00", "1D 42 00"};
const std::vector<std::string> kInit2 = {"1B 52 00",    "1B 74 02",    "1B 63 03 02", "1B 63 04 00",
                                         "1D 50 B4 B4", "1B 4A 16 00", "1B 4A 00 00"};
const std::vector<std::string> kBarcodeOwn = {"1B 3D 01",    "1B 52 00",    "1B 74 02", "1B 63 33 04",
                                              "1B 63 34 00", "1D 50 B4 B4", "1B 74 02", "1D 77 02 00",
                                              "1B 4A 2D 00", "1B 24 2D 00", "1D 68 40"};

std::vector<std::string> Concat(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(InitSequences, EachRunWritesItsCommandsOneByOne) {
    ClearLog();
    RecordingCommunication init;
    SendInitCommand(&init);
    EXPECT_EQ(HexWrites(init), kInit);
    EXPECT_EQ(init.AllBytes().size(), 11u);

    RecordingCommunication init2;
    SendInitCommand2(&init2);
    EXPECT_EQ(HexWrites(init2), kInit2);

    RecordingCommunication barcode;
    SendBarcodeInitCommand(&barcode);
    EXPECT_EQ(HexWrites(barcode), Concat(kInit, kBarcodeOwn));

    for (const RecordingCommunication* comm : {&init, &init2, &barcode}) {
        for (const RecordedWrite& record : comm->Records()) {
            EXPECT_EQ(record.timeout, 0);
            EXPECT_FALSE(record.printInProgress);
        }
    }
    EXPECT_TRUE(LogMessages().empty());
}

TEST(InitSequences, FailedWritesDoNotEndTheRun) {
    RecordingCommunication failing;
    failing.FailAllWrites();
    SendBarcodeInitCommand(&failing);
    SendInitCommand2(&failing);
    EXPECT_EQ(HexWrites(failing), Concat(Concat(kInit, kBarcodeOwn), kInit2));

    RecordingCommunication throwing;
    throwing.ThrowOnWrites();
    SendInitCommand(&throwing);
    EXPECT_EQ(HexWrites(throwing), kInit);
}

}  // namespace
}  // namespace kesto::test
