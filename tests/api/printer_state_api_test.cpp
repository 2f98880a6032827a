#include <gtest/gtest.h>

#include <future>

#include "fixtures/fake_tcp_printer.h"
#include "fixtures/recording_communication.h"
#include "support/test_support.h"

namespace kesto::test {
namespace {

void* Open(const std::string& path) {
    std::string description = "<device><type>ETH</type><path>" + path + "</path></device>";
    return KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()));
}

std::atomic<int> g_code{-1};
int RecordCode(int code) {
    if (code != 0) g_code = code;
    return 0;
}

const std::string kAutomaticStatus = H("1D 61 0F 00");

// Each printer reports its own drawer pin; the status thread's blocks give the state without
// asking; confirmations make the reader take over from a read already waiting; the codes go on.
TEST(PrinterState, OwnDrawerPinStateFromTheStatusThreadAndTheReaderTakingOver) {
    FakeTcpPrinter first, second;
    first.Answer({0x12, 0x12, 0x12, 0x12});
    void* a = Open(first.Path());
    void* b = Open(second.Path());
    ASSERT_EQ(KESTO_GetLastError(b), 0);
    ASSERT_TRUE(second.SendStatus({0x10, 0, 0, 0}));
    EXPECT_EQ(KESTO_GetPrinterStatus(b), KESTO_STATUS_DRAWER_PIN_LOW);
    ASSERT_EQ(KESTO_OnPrinterError(a, RecordCode), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(a), 1);
    for (auto [block, code] : {std::pair<unsigned char, int>{0x10, KESTO_STATUS_DRAWER_PIN_LOW}, {0x30, 7}}) {
        ASSERT_TRUE(first.SendStatus({block, 0, 0, 0}));
        ASSERT_TRUE(WaitUntil([&] { return g_code == code; })) << code;
    }
    EXPECT_EQ(KESTO_GetPrinterState(a), KESTO_STATE_COVER_OPEN);
    EXPECT_EQ(first.Received(), kAutomaticStatus);  // nothing asked

    ASSERT_TRUE(WaitUntil([] {  // a read of the status thread is waiting
        return LogCount("Ethernet::Reading sock_fd") >
               LogCount("Ethernet::Read Received") + LogCount("Select Timeout");
    }));
    std::vector<std::future<int>> waits;
    for (int i = 0; i < 4; ++i)
        waits.push_back(std::async(std::launch::async, [&] { return KESTO_WaitPrinted(a, 20000); }));
    for (auto& wait : waits) EXPECT_EQ(wait.get(), 1);
    ASSERT_TRUE(first.SendStatus({0x10, 0, 0, 0}));
    EXPECT_TRUE(WaitUntil([] { return g_code == KESTO_STATUS_COVER_CLOSED; }));
    EXPECT_TRUE(WaitUntil([&] { return KESTO_GetPrinterState(a) == 0; }));
    EXPECT_EQ(first.Received().find(H("10 04")), std::string::npos);
    EXPECT_EQ(KESTO_DestroyDevicePointer(a) + KESTO_DestroyDevicePointer(b), 2);
}

TEST(PrinterState, ASilentPrinterIsNeverConfirmedAndNoTransportIsMinusOne) {
    FakeTcpPrinter printer;  // answers nothing
    void* handle = Open(printer.Path());
    EXPECT_EQ(KESTO_GetPrinterState(handle), -1);
    EXPECT_EQ(KESTO_GetLastError(handle), ETIMEDOUT);
    EXPECT_EQ(KESTO_WaitPrinted(handle, 100), 0);
    EXPECT_EQ(printer.Received(), H("10 04 01 10 04 02 10 04 03 10 04 04 1D 28 48 06 00 30 30 30 30 30 30"));
    EXPECT_EQ(KESTO_DestroyDevicePointer(handle), 1);
    RecordingPrinter recording;  // a transport without a reader
    RefusedPort refused;
    void* unreachable = Open(refused.Path());
    for (void* h : {static_cast<void*>(nullptr), recording.Handle(), unreachable})
        EXPECT_EQ(
            KESTO_GetPrinterState(h) + KESTO_OnPrinterState(h, nullptr, nullptr) + KESTO_WaitPrinted(h, 0),
            -3);
    EXPECT_EQ(KESTO_DestroyDevicePointer(unreachable), 1);
}

}  // namespace
}  // namespace kesto::test
