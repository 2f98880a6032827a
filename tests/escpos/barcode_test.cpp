#include "escpos/barcode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/recording_communication.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace kesto::test {
namespace {

constexpr size_t kInitWrites = 15;

class BarcodeTest : public ::testing::Test {
protected:
    void SetUp() override { g_bPrintInProgress = false; }

    // The writes after the barcode init run, which must come first and whole.
    std::vector<std::string> SymbolWrites() {
        const std::vector<std::string> writes = printer.Comm().Writes();
        EXPECT_GE(writes.size(), kInitWrites);
        if (writes.size() < kInitWrites) return {};
        EXPECT_EQ(writes[0], FromHex("1B 40"));
        EXPECT_EQ(writes[14], FromHex("1D 68 40"));
        return std::vector<std::string>(writes.begin() + kInitWrites, writes.end());
    }

    RecordingPrinter printer;
};

TEST_F(BarcodeTest, TerminatedTypesSendTypeBytesDataAndTerminator) {
    struct Case {
        int type;
        const char* typeBytes;
        const char* logName;
    };
    const Case cases[] = {{257, "1D 6B 00", "BARCODE_TYPE_UPCA"},  {258, "1D 6B 01", "BARCODE_TYPE_UPCE"},
                          {259, "1D 6B 03", "BARCODE_TYPE_EAN8"},  {260, "1D 6B 02", "BARCODE_TYPE_EAN13"},
                          {261, "1D 6B 05", "BARCODE_TYPE_ITF"},   {262, "1D 6B 06", "BARCODE_TYPE_CODABAR"},
                          {263, "1D 6B 04", "BARCODE_TYPE_CODE39"}};
    for (const Case& c : cases) {
        printer.Comm().ClearWrites();
        ClearLog();
        EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), c.type, "401234567890", 12), 0) << c.logName;
        EXPECT_EQ(SymbolWrites(),
                  (std::vector<std::string>{FromHex(c.typeBytes), "401234567890", std::string(1, '\0')}))
            << c.logName;
        // The info entry has no line end of its own: the type entry follows on its line.
        const std::vector<std::string> messages = LogMessages();
        ASSERT_EQ(messages.size(), 2u) << ReadLog();
        EXPECT_EQ(messages[0], "Barcode Info 401234567890");
        EXPECT_EQ(messages[1], " :: Barcode LengthBarcode Type :: " + std::string(c.logName));
    }
}

TEST_F(BarcodeTest, LengthPrefixedTypesCarryTheLengthAndNoTerminator) {
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 265, "0123456789", 10), 0);
    EXPECT_EQ(SymbolWrites(), (std::vector<std::string>{FromHex("1D 6B 49 0A"), "0123456789"}));
    EXPECT_TRUE(LogContains("Barcode Type :: BARCODE_TYPE_CODE128\n"));
    printer.Comm().ClearWrites();
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 264, "ABC", 3), 0);
    EXPECT_EQ(SymbolWrites(), (std::vector<std::string>{FromHex("1D 6B 48 03"), "ABC"}));
}

TEST_F(BarcodeTest, QrCodeSendsModelSizeLevelStoreDataAndPrint) {
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 272, "KESTOTESTPRINT", 14), 0);
    EXPECT_EQ(SymbolWrites(), (std::vector<std::string>{
                                  FromHex("1D 28 6B 04 00 31 41 32 00"), FromHex("1D 28 6B 03 00 31 43 03"),
                                  FromHex("1D 28 6B 03 00 31 45 30"), FromHex("1D 28 6B 11 00 31 50 30"),
                                  "KESTOTESTPRINT", FromHex("1D 28 6B 03 00 31 51 30")}));
}

TEST_F(BarcodeTest, Pdf417SendsItsLayoutStoreDataAndPrintWithoutLineEndInLog) {
    const std::string data(100, 'p');
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 273, data.data(), 100), 0);
    EXPECT_EQ(SymbolWrites(), (std::vector<std::string>{
                                  FromHex("1D 28 6B 03 00 30 41 00"), FromHex("1D 28 6B 03 00 30 42 00"),
                                  FromHex("1D 28 6B 03 00 30 43 03"), FromHex("1D 28 6B 03 00 30 44 03"),
                                  FromHex("1D 28 6B 04 00 30 45 30 30"), FromHex("1D 28 6B 67 00 30 50 30"),
                                  data, FromHex("1D 28 6B 03 00 30 51 30")}));
    EXPECT_TRUE(LogContains("Barcode Type :: BARCODE_TYPE_PDF417"));
    EXPECT_FALSE(LogContains("Barcode Type :: BARCODE_TYPE_PDF417\n"));
}

TEST_F(BarcodeTest, UnknownTypesSendOnlyTheInitRun) {
    for (int type : {266, 271, 0, 274, -1}) {
        printer.Comm().ClearWrites();
        ClearLog();
        EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), type, "123", 3), 0) << type;
        EXPECT_TRUE(SymbolWrites().empty()) << type;
        EXPECT_TRUE(LogContains("Barcode Type :: Unknown")) << type;
        EXPECT_FALSE(LogContains("Barcode Type :: Unknown\n")) << type;
    }
}

TEST_F(BarcodeTest, NoTransportSendsNothingAndLogsNothing) {
    RecordingPrinter unreachable(RecordingPrinter::Mode::kCannotConnect);
    EXPECT_EQ(KESTO_PrintBarcode(nullptr, 257, "1", 1), -1);
    EXPECT_EQ(KESTO_PrintBarcode(unreachable.Handle(), 257, "1", 1), -1);
    EXPECT_EQ(unreachable.Comm().WriteCount(), 0u);
    EXPECT_FALSE(LogContains("Barcode"));
}

TEST_F(BarcodeTest, FlagIsUpForEveryWriteAndDownAfter) {
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 272, "x", 1), 0);
    for (const RecordedWrite& write : printer.Comm().Records()) EXPECT_TRUE(write.printInProgress);
    EXPECT_FALSE(g_bPrintInProgress.load());
}

TEST_F(BarcodeTest, FailedWritesStillGiveZeroAndEveryWriteIsMade) {
    printer.Comm().FailAllWrites();
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 263, "ABC", 3), 0);
    EXPECT_EQ(printer.Comm().WriteCount(), kInitWrites + 3);
}

TEST_F(BarcodeTest, LengthsTheCommandsCannotDescribeAreRefusedBeforeSending) {
    const std::string long1d(256, '7');
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 265, long1d.data(), 256), -1);
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 264, long1d.data(), 256), -1);
    EXPECT_EQ(printer.Comm().WriteCount(), 0u);
    EXPECT_TRUE(LogContains("Barcode Length 256 is more than 255 bytes: not sent\n"));
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 265, long1d.data(), 255), 0);
    EXPECT_EQ(SymbolWrites()[0], FromHex("1D 6B 49 FF"));

    printer.Comm().ClearWrites();
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 273, long1d.data(), -1), -1);
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 272, nullptr, 5), -1);
    EXPECT_EQ(printer.Comm().WriteCount(), 0u);
}

TEST(SymbolHeaders, LongTwoDimensionalDataUsesTheHighLengthByte) {
    EXPECT_EQ(kesto::SymbolStoreHeader(0x31, 14), FromHex("1D 28 6B 11 00 31 50 30"));
    EXPECT_EQ(kesto::SymbolStoreHeader(0x31, 1000), FromHex("1D 28 6B EB 03 31 50 30"));
    EXPECT_EQ(kesto::SymbolStoreHeader(0x30, 253), FromHex("1D 28 6B 00 01 30 50 30"));
    EXPECT_EQ(kesto::LengthPrefixedBarcodeHeader(0x48, 300), FromHex("1D 6B 48 2C"));
}

TEST_F(BarcodeTest, LongQrDataIsSentWhole) {
    const std::string data(1000, 'q');
    EXPECT_EQ(KESTO_PrintBarcode(printer.Handle(), 272, data.data(), 1000), 0);
    const std::vector<std::string> writes = SymbolWrites();
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_EQ(writes[3], FromHex("1D 28 6B EB 03 31 50 30"));
    EXPECT_EQ(writes[4], data);
}

}  // namespace
}  // namespace kesto::test
