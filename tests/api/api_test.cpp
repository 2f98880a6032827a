#include <gtest/gtest.h>

#include "fixtures/fake_tcp_printer.h"
#include "fixtures/recording_communication.h"
#include "support/test_support.h"

namespace kesto::test {
namespace {

void* Create(std::string description) {
    return KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()));
}

std::atomic<int> g_lastCode{-1};
int RecordCode(int code) {
    if (code != 0) g_lastCode = code;
    return 0;
}

TEST(DeviceHandles, CreationStartsAFreshLogWithTheBannerAndDestroyFreesTheHandle) {
    DebugPrint("left over\n");
    RefusedPort nowhere;
    const std::string eth = "<device><type>ETH</type><path>" + nowhere.Path() + "</path></device>";
    std::string handed = eth + "<extra/>";  // only the length given is read and logged
    void* handle = KESTO_CreateDevicePointer(&handed[0], static_cast<int>(eth.size()));
    ASSERT_NE(handle, nullptr);  // nothing is opened before a call needs the printer
    const std::string stars(53, '*');
    EXPECT_EQ(LogMessages(),
              (Strings{stars, "            KESTO JavaPOS Debug Log Started          ", stars,
                       "KESTO Linux/Mac Shared Object Version 0.6.0.2", "KESTO_CreateDevicePointer", eth,
                       "KESTO_CreateDevicePointer PrinterEth"}));
    EXPECT_EQ(KESTO_DestroyDevicePointer(handle), 1);
    void* usb = Create("<device><type>USB</type><path>0001:0002:00</path><modal>VANTO500</modal></device>");
    ASSERT_NE(usb, nullptr);
    EXPECT_TRUE(LogContains("KESTO_CreateDevicePointer PrinterTypeUsb\n"));
    EXPECT_EQ(KESTO_DestroyDevicePointer(usb), 1);
    for (const char* other : {"<device><type>usb</type></device>", "<device><type>Serial</type></device>",
                              "<device><path>x</path></device>"})
        EXPECT_EQ(Create(other), nullptr) << other;
    EXPECT_EQ(LogCount("KESTO JavaPOS Debug Log Started"), 1u);
    EXPECT_EQ(KESTO_DestroyDevicePointer(nullptr), -1);
}

TEST(DeviceHandles, DisconnectedMarkFailsCallsUntilReconnected) {
    FakeTcpPrinter printer;
    void* handle = Create("<device><type>ETH</type><path>" + printer.Path() + "</path></device>");
    EXPECT_EQ(KESTO_WriteData(handle, "1", 1), 1);
    EXPECT_EQ(KESTO_DeviceDisconnected(handle), 1);
    EXPECT_EQ(KESTO_WriteData(handle, "2", 1) + KESTO_PrintText(handle, "2", 1, false), -2);
    EXPECT_EQ(KESTO_GetLastError(handle), 0);
    EXPECT_EQ(KESTO_DeviceReconnected(handle), 1);
    EXPECT_EQ(KESTO_WriteData(handle, "3", 1), 1);
    ASSERT_TRUE(printer.WaitForBytes(2));
    EXPECT_EQ(printer.Received(), "13");
    EXPECT_EQ(KESTO_DeviceDisconnected(nullptr) + KESTO_DeviceReconnected(nullptr), -2);
    EXPECT_EQ(KESTO_DestroyDevicePointer(handle), 1);
}

TEST(DeviceCalls, WriteDataLastErrorCallbackAndVersion) {
    RecordingPrinter printer, unreachable(false);
    EXPECT_EQ(KESTO_WriteData(printer.Handle(), "abc", 3), 3);
    EXPECT_EQ(KESTO_WriteData(printer.Handle(), nullptr, 0), 0);
    EXPECT_EQ(KESTO_WriteData(printer.Handle(), nullptr, 2), -1);
    EXPECT_EQ(printer.comm.Sent(), "61 62 63 | ");
    for (const Recorded& write : printer.comm.Records()) EXPECT_TRUE(write.printing);
    printer.comm.throwOnWrite = true;
    EXPECT_EQ(KESTO_WriteData(printer.Handle(), "abc", 3), -1);
    EXPECT_FALSE(g_bPrintInProgress);
    EXPECT_EQ(KESTO_WriteData(nullptr, "abc", 3), -1);

    printer.comm.lastError = 5;
    EXPECT_EQ(KESTO_GetLastError(printer.Handle()), 5);        // the transport's
    EXPECT_EQ(KESTO_GetLastError(unreachable.Handle()), 111);  // the failed connection's
    EXPECT_EQ(KESTO_GetLastError(nullptr), -1);
    EXPECT_EQ(KESTO_OnPrinterError(printer.Handle(), RecordCode), 1);
    EXPECT_EQ(KESTO_OnPrinterError(unreachable.Handle(), RecordCode), -1);
    EXPECT_EQ(KESTO_OnPrinterError(nullptr, RecordCode), -1);

    char buffer[16] = "xxxxxxxxxxxxxxx";
    KESTO_GetVersionString(buffer, 0);
    EXPECT_EQ(buffer[0], 'x');
    KESTO_GetVersionString(buffer, 14);
    EXPECT_EQ(std::string(buffer, 2), std::string("\0x", 2));
    KESTO_GetVersionString(buffer, 15);
    EXPECT_STREQ(buffer, "0.6.0.2");
    KESTO_GetVersionString(nullptr, 15);
}

TEST(StatusThread, SwitchesOnStatusBackCallsBackAndIsReplacedOrStoppedWithItsHandle) {
    FakeTcpPrinter printer;
    void* handle = Create("<device><type>ETH</type><path>" + printer.Path() + "</path></device>");
    ASSERT_EQ(KESTO_OnPrinterError(handle, RecordCode), 1);
    ClearLog();
    const auto start = Clock::now();
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
    EXPECT_GE(Clock::now() - start, std::chrono::seconds(1));
    ASSERT_TRUE(printer.WaitForBytes(4));
    EXPECT_EQ(Hex(printer.Received()), "1D 61 0F 00");  // GS a 15: automatic status back on
    // The printer stays silent: the thread waits in a read until a second start stops it.
    ASSERT_TRUE(WaitUntil([] { return LogContains("Ethernet::Reading sock_fd"); }));
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
    EXPECT_EQ(LogCount("Thread Killed\n"), 1u);
    EXPECT_TRUE(LogContains("Ethernet::Read abandoned: the status thread is stopping\n"));
    ASSERT_TRUE(printer.WaitForBytes(8));

    ASSERT_TRUE(printer.SendStatus({0x30, 0, 0, 0}));
    EXPECT_TRUE(WaitUntil([] { return g_lastCode == KESTO_STATUS_COVER_OPEN; }));
    // Destroying another handle leaves the thread alone.
    EXPECT_EQ(KESTO_DestroyDevicePointer(Create("<device><type>ETH</type><path>x:1</path></device>")), 1);
    EXPECT_NE(_threadHandle.load(), pthread_t{0});
    EXPECT_EQ(KESTO_DestroyDevicePointer(handle), 1);
    EXPECT_EQ(_threadHandle.load(), pthread_t{0});
    EXPECT_TRUE(LogContains("Thread Killed\n"));
}

TEST(StatusThread, StandsBackWhilePrintingAndPausesAfterAPollThatReadNothing) {
    RecordingPrinter printer;  // every poll reads nothing
    ASSERT_EQ(KESTO_CreateStatusThread(printer.Handle()), 1);
    ASSERT_TRUE(WaitUntil([&] { return printer.comm.Polls().size() >= 2; }));
    EXPECT_GE(printer.comm.Polls()[1] - printer.comm.Polls()[0], std::chrono::milliseconds(100));
    EXPECT_EQ(printer.comm.Sent(), "1D 61 0F 00");

    g_bPrintInProgress = true;
    ASSERT_TRUE(WaitUntil([] { return LogContains("Thread is NOT Running\n"); }));
    const size_t before = printer.comm.Polls().size();
    ASSERT_TRUE(WaitUntil([] { return LogCount("Thread is NOT Running\n") >= 3; }));
    EXPECT_EQ(printer.comm.Polls().size(), before);
    g_bPrintInProgress = false;
    ASSERT_TRUE(WaitUntil([&] { return printer.comm.Polls().size() > before; }));

    KESTO_DestroyStatusThread(nullptr);
    EXPECT_EQ(_threadHandle.load(), pthread_t{0});
    EXPECT_TRUE(LogContains("Thread is Exited\n"));
}

}  // namespace
}  // namespace kesto::test
