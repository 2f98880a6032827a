// A USB printer that is missing, goes away or stops answering: short counts
// and kept errors instead of crashes, and a status thread that can always be
// stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "faults/fault_helpers.h"
#include "fixtures/fake_usb_printer.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"
#include "transport/usb_transport.h"

namespace {

using kesto::test::ArrivedInOrder;
using kesto::test::DeviceHandle;
using kesto::test::FakeUsbPrinter;
using kesto::test::LogContains;
using kesto::test::LogCount;
using kesto::test::OutReply;
using kesto::test::Payload;
using kesto::test::Timed;
using kesto::test::UsbDescription;
using kesto::test::UsbTestbed;
using kesto::test::WaitUntil;
using kesto::test::Write;
using std::chrono::milliseconds;

const std::string kAutoStatusBack("\x1D\x61\x0F\x00", 4);

std::atomic<int> g_callbacks{0};
int CountCallback(int) {
    ++g_callbacks;
    return 0;
}

std::string Received(const FakeUsbPrinter& printer) {
    const std::vector<uint8_t> bytes = printer.OutBytes();
    return std::string(bytes.begin(), bytes.end());
}

class UsbFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kesto::test::InMockUsbEnvironment()) << "the umockdev preload is not active";
        g_callbacks = 0;
    }
    void TearDown() override { KESTO_DestroyStatusThread(nullptr); }

    // Declared first: every libusb context of a test ends before the testbed.
    UsbTestbed testbed;
};

TEST_F(UsbFaults, MissingPrinterFailsEveryCallWithErrorTwo) {
    DeviceHandle device(UsbDescription());
    ASSERT_NE(device.get(), nullptr);
    EXPECT_EQ(Write(device.get(), "abc"), -1);
    EXPECT_EQ(KESTO_GetLastError(device.get()), 2);
    EXPECT_EQ(KESTO_PrintText(device.get(), "abc", 3, false), -1);
    EXPECT_EQ(KESTO_GetPrinterStatus(device.get()), -1);
    EXPECT_FALSE(g_bPrintInProgress.load());
    EXPECT_EQ(device.Destroy(), 1);

    // A model outside the table is refused before any device is looked at.
    testbed.AddPrinter();
    DeviceHandle unknown(UsbDescription("vanto500"));
    EXPECT_EQ(Write(unknown.get(), "abc"), -1);
    EXPECT_EQ(KESTO_GetLastError(unknown.get()), 19);
}

TEST_F(UsbFaults, UnpluggedDuringAWriteGivesAShortCountAndKeepsTheError) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    DeviceHandle device(UsbDescription());
    ASSERT_EQ(Write(device.get(), "first"), 5);

    const std::string job = Payload(64 * 1024, 21);
    printer.QueueOutReply(OutReply{1000, 0, false});  // a short transfer, then one that never ends
    printer.QueueOutReply(OutReply{0, 0, true});
    auto writing = std::async(std::launch::async, [&] { return Write(device.get(), job); });
    ASSERT_TRUE(WaitUntil([&] { return printer.OutTransfers().size() >= 2; }));
    std::this_thread::sleep_for(milliseconds(100));  // the second transfer is waiting now
    printer.Vanish();
    ASSERT_EQ(writing.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the write hangs";
    const int written = writing.get();
    EXPECT_EQ(written, 1000);
    EXPECT_FALSE(g_bPrintInProgress.load());
    EXPECT_TRUE(LogContains(":: RetVal " + std::to_string(LIBUSB_ERROR_NO_DEVICE) + "\n"));
    EXPECT_NE(KESTO_GetLastError(device.get()), 0);

    const std::string sent = "first" + job;
    EXPECT_TRUE(ArrivedInOrder(Received(printer), sent, 5 + static_cast<size_t>(written)));

    // Gone for good: later writes move nothing, and the handle still goes away cleanly.
    EXPECT_EQ(Write(device.get(), "more"), 0);
    EXPECT_EQ(KESTO_PrintText(device.get(), "text", 4, false), 0);
    EXPECT_TRUE(ArrivedInOrder(Received(printer), sent, 5 + static_cast<size_t>(written)));
    EXPECT_EQ(device.Destroy(), 1);
}

TEST_F(UsbFaults, StalledEndpointGivesAShortCountAndOnlyCountedBytesArrive) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    DeviceHandle device(UsbDescription());
    const std::string job = Payload(4096, 22);
    printer.QueueOutReply(OutReply{512, 0, false});
    printer.QueueOutReply(OutReply{0, -EPIPE, false});
    EXPECT_EQ(Write(device.get(), job), 512);
    EXPECT_TRUE(LogContains(":: RetVal " + std::to_string(LIBUSB_ERROR_PIPE) + "\n"));
    EXPECT_NE(KESTO_GetLastError(device.get()), 0);
    EXPECT_EQ(Received(printer), job.substr(0, 512));
    EXPECT_FALSE(g_bPrintInProgress.load());
}

TEST_F(UsbFaults, SilentPrinterEndsAStatusPollAfterTheReadTimeOut) {
    testbed.AddPrinter();
    USBPort port("", "VANTO500", 300);
    ASSERT_TRUE(port.Open());
    port.SetPrinterStatusNotifyCallBack(&CountCallback);
    int code = -1;
    const milliseconds took = Timed([&] { code = port.GetPrinterStatus(); });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(g_callbacks.load(), 1);  // nothing to report is reported too
    EXPECT_EQ(LogCount("DEBUG: Got USB transaction timeout during read.\n"), 3u);
    EXPECT_LT(took, milliseconds(10000));
}

TEST_F(UsbFaults, StatusThreadWaitingOnASilentPrinterStopsPromptly) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    DeviceHandle device(UsbDescription());
    ASSERT_EQ(KESTO_OnPrinterError(device.get(), &CountCallback), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(device.get()), 1);
    ASSERT_TRUE(WaitUntil([&] { return Received(printer) == kAutoStatusBack; }));
    ASSERT_TRUE(printer.WaitForPendingIn(milliseconds(5000)));

    // The read would last a minute (three per poll); stopping must not wait for it.
    const milliseconds took = Timed([] { KESTO_DestroyStatusThread(nullptr); });
    EXPECT_LT(took, milliseconds(3000));
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    EXPECT_EQ(g_callbacks.load(), 0);  // an abandoned poll reports nothing
    EXPECT_TRUE(LogContains("Thread Killed\n"));
    EXPECT_EQ(device.Destroy(), 1);
}

TEST_F(UsbFaults, UnpluggedWhileTheStatusThreadPollsKeepsTheThreadAliveAndCalm) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    DeviceHandle device(UsbDescription());
    ASSERT_EQ(KESTO_OnPrinterError(device.get(), &CountCallback), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(device.get()), 1);
    ASSERT_TRUE(printer.WaitForPendingIn(milliseconds(5000)));
    printer.QueueStatus({0x30, 0x00, 0x00, 0x00});  // cover open
    ASSERT_TRUE(WaitUntil([] { return g_callbacks.load() >= 1; }));
    ASSERT_TRUE(printer.WaitForPendingIn(milliseconds(5000)));

    printer.Vanish();
    ASSERT_TRUE(WaitUntil([] { return LogContains("RetVal " + std::to_string(LIBUSB_ERROR_NO_DEVICE)); }));
    // Every read now fails at once: the thread lives on, without spinning.
    const std::string poll = "g_bPrintInProgress value is 0\n";
    const size_t before = LogCount(poll);
    std::this_thread::sleep_for(milliseconds(500));
    const size_t polls = LogCount(poll) - before;
    EXPECT_GE(polls, 1u);
    EXPECT_LE(polls, 50u);
    EXPECT_NE(_threadHandle.load(), static_cast<pthread_t>(0));

    EXPECT_EQ(Write(device.get(), "lost"), 0);
    EXPECT_EQ(Received(printer), kAutoStatusBack);
    const milliseconds took = Timed([] { KESTO_DestroyStatusThread(nullptr); });
    EXPECT_LT(took, milliseconds(3000));
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    EXPECT_EQ(device.Destroy(), 1);
}

}  // namespace
