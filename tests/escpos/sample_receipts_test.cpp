#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/recording_communication.h"
#include "kesto/kesto.h"

namespace kesto::test {
namespace {

int (*const kReceipts[])(void*) = {KESTO_PrintSampleReceipt1, KESTO_PrintSampleReceipt2,
                                   KESTO_PrintSampleReceipt3, KESTO_PrintSampleReceipt4};

const std::string kInit = FromHex("1B 40 1B 3D 01 1B 21 00 1D 42 00");

TEST(SampleReceipts, NullHandleResults) {
    EXPECT_EQ(KESTO_PrintSampleReceipt1(nullptr), -1);
    EXPECT_EQ(KESTO_PrintSampleReceipt2(nullptr), -1);
    EXPECT_EQ(KESTO_PrintSampleReceipt3(nullptr), 0);
    EXPECT_EQ(KESTO_PrintSampleReceipt4(nullptr), 0);
}

TEST(SampleReceipts, UnreachablePrinterGetsNothing) {
    for (int n = 0; n < 4; ++n) {
        RecordingPrinter unreachable(RecordingPrinter::Mode::kCannotConnect);
        EXPECT_EQ(kReceipts[n](unreachable.Handle()), n < 2 ? -1 : 0) << "receipt " << n + 1;
        EXPECT_EQ(unreachable.Comm().WriteCount(), 0u) << "receipt " << n + 1;
    }
}

TEST(SampleReceipts, EveryReceiptEndsWithFeedAndCut) {
    for (int n = 0; n < 4; ++n) {
        RecordingPrinter printer;
        EXPECT_EQ(kReceipts[n](printer.Handle()), 0) << "receipt " << n + 1;
        const std::vector<std::string> writes = printer.Comm().Writes();
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(writes.back(), FromHex("1D 56 42 03")) << "receipt " << n + 1;
        EXPECT_EQ(printer.Comm().AllBytes().find(FromHex("1D 56 42 03")),
                  printer.Comm().AllBytes().size() - 4)
            << "receipt " << n + 1 << " cuts only at its end";
    }
}

TEST(SampleReceipts, FirstTwoStartWithTheInitRunTheOthersDoNot) {
    for (int n = 0; n < 4; ++n) {
        RecordingPrinter printer;
        kReceipts[n](printer.Handle());
        const std::string bytes = printer.Comm().AllBytes();
        EXPECT_EQ(bytes.compare(0, kInit.size(), kInit) == 0, n < 2) << "receipt " << n + 1;
    }
}

TEST(SampleReceipts, ReceiptOneStartsItsShopLineDoubleHeightAndCentred) {
    RecordingPrinter printer;
    KESTO_PrintSampleReceipt1(printer.Handle());
    const std::vector<std::string> writes = printer.Comm().Writes();
    ASSERT_GT(writes.size(), 8u);
    EXPECT_EQ(writes[4], FromHex("1B 21 10"));  // after the four writes of the init run
    EXPECT_EQ(writes[5], FromHex("1B 61 01"));
    EXPECT_EQ(writes[7], FromHex("0A"));
    // Text goes out with the plain PrintText: no header, no feed of its own.
    EXPECT_EQ(printer.Comm().AllBytes().find(FromHex("1B 4D 00")), std::string::npos);
}

TEST(SampleReceipts, ReceiptTwoCarriesTheThreeBytePdf417) {
    RecordingPrinter printer;
    KESTO_PrintSampleReceipt2(printer.Handle());
    const std::string bytes = printer.Comm().AllBytes();
    EXPECT_NE(bytes.find(FromHex("1D 28 6B 06 00 30 50 30") + "142" + FromHex("1D 28 6B 03 00 30 51 30")),
              std::string::npos);
}

TEST(SampleReceipts, ReceiptThreeShowcasesTheFormattingCommands) {
    RecordingPrinter printer;
    KESTO_PrintSampleReceipt3(printer.Handle());
    const std::vector<std::string> writes = printer.Comm().Writes();
    ASSERT_GE(writes.size(), 4u);
    EXPECT_EQ(writes[0], FromHex("1B 21 10"));
    EXPECT_EQ(writes[1], FromHex("1B 61 01"));
    EXPECT_EQ(writes[2], FromHex("1D 50 50 50"));
    EXPECT_EQ(writes[3], FromHex("1D 42 01"));
    const std::string bytes = printer.Comm().AllBytes();
    EXPECT_NE(bytes.find(FromHex("1B 56 01 1B 4D 00") + " Rotataion Text " + FromHex("1B 56 00")),
              std::string::npos);
    EXPECT_NE(bytes.find(FromHex("1B 24 3C 46 0A")), std::string::npos);  // ESC $ 60 70, LF
    EXPECT_NE(bytes.find(FromHex("1D 21 11") + "P"), std::string::npos);  // double width and height
    EXPECT_NE(bytes.find(FromHex("1D 4C 0A 00") + "BBBBBBBBBBBBB\n"), std::string::npos);
    EXPECT_NE(bytes.find("Sale"), std::string::npos);
    for (int k = 1; k <= 7; ++k) {
        EXPECT_NE(bytes.find(std::string("\x1D\x21", 2) + static_cast<char>(k)), std::string::npos) << k;
        EXPECT_NE(bytes.find(std::string("\x1D\x21", 2) + static_cast<char>(k << 4)), std::string::npos) << k;
    }
    EXPECT_NE(bytes.find(FromHex("1B 54 01 1B 0C 1D 56 42 03")), std::string::npos);
}

}  // namespace
}  // namespace kesto::test
