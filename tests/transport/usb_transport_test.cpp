#include "transport/usb_transport.h"

#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "fixtures/fake_usb_printer.h"
#include "kesto/kesto.h"
#include "platform/events.h"
#include "support/log_reader.h"
#include "transport/usb_ids.h"

namespace {

using kesto::test::FakeUsbPrinter;
using kesto::test::FakeUsbPrinterConfig;
using kesto::test::InReply;
using kesto::test::LogContains;
using kesto::test::LogCount;
using kesto::test::OutReply;
using kesto::test::UsbTestbed;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kShortReadMs = 200;

std::atomic<int> g_callbackCalls{0};
std::atomic<int> g_lastCallbackCode{-1};

int RecordStatus(int code) {
    ++g_callbackCalls;
    g_lastCallbackCode = code;
    return 0;
}

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The event and timer descriptors libusb makes for each context; a context
// that is never freed keeps its own. (Sockets and pipes also come and go with
// umockdev's worker, so they are not counted.)
int OpenEventFdCount() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        char target[256];
        while (dirent* entry = ::readdir(dir)) {
            const std::string link = std::string("/proc/self/fd/") + entry->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n <= 0) continue;
            target[n] = '\0';
            if (std::strncmp(target, "anon_inode:", 11) == 0) ++count;
        }
        ::closedir(dir);
    }
    return count;
}

class UsbTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kesto::test::InMockUsbEnvironment()) << "the umockdev preload is not active";
    }

    // Declared before any USBPort of a test, so it outlives their libusb contexts.
    UsbTestbed testbed;
};

TEST_F(UsbTransportTest, EachModelOpensItsOwnProductAndLogsItsRow) {
    struct Row {
        const char* model;
        const char* entry;
        uint16_t product;
    };
    const Row rows[] = {
        {"TORQA10", "PRINTER_MODEL_TORQA10\n", 0x0001},   {"TORQA12", "PRINTER_MODEL_TORQA12\n", 0x0002},
        {"TORQA15", "PRINTER_MODEL_TORQA15\n", 0x0003},   {"TORQA20", "PRINTER_MODEL_TORQA20\n", 0x0004},
        {"TORQA20i", "PRINTER_MODEL_TORQA20I\n", 0x0005}, {"TORQA22", "PRINTER_MODEL_TORQA22\n", 0x0006},
        {"TORQA25", "PRINTER_MODEL_TORQA25\n", 0x0007},   {"VANTO500", "PRINTER_MODEL_VANTO500\n", 0x0008},
    };
    std::vector<FakeUsbPrinter*> printers;
    int address = 2;
    for (const Row& row : rows) {
        FakeUsbPrinterConfig config;
        config.address = address++;
        config.productId = row.product;
        printers.push_back(&testbed.AddPrinter(config));
    }
    EXPECT_EQ(kesto::kUsbDetectedProductId, 0x0008);

    for (size_t i = 0; i < printers.size(); ++i) {
        SCOPED_TRACE(rows[i].model);
        kesto::test::ClearLog();
        {
            USBPort port("1:2", rows[i].model);
            ASSERT_TRUE(port.Open());
            EXPECT_TRUE(port.GetConnected());
            EXPECT_TRUE(printers[i]->Claimed(0));
            EXPECT_EQ(port.Write("x", 1, 0), 1);
            EXPECT_EQ(printers[i]->OutBytes(), ToBytes("x"));
        }
        EXPECT_TRUE(LogContains(std::string("Device Modal is ") + rows[i].model + "\n"));
        EXPECT_EQ(LogCount("PRINTER_MODEL_"), 1u);
        EXPECT_TRUE(LogContains(rows[i].entry));
        EXPECT_TRUE(LogContains("Claimed Interface\n"));
        for (size_t j = 0; j < printers.size(); ++j) {
            EXPECT_EQ(printers[j]->OpenCount(), j <= i ? 1 : 0) << "printer " << j;
        }
    }
}

TEST_F(UsbTransportTest, ModelNamesMatchOnlyWithTheirExactCase) {
    FakeUsbPrinterConfig config;
    config.productId = kesto::kUsbProductTorqa20i;
    FakeUsbPrinter& printer = testbed.AddPrinter(config);
    for (const char* model : {"TORQA20I", "torqa20i", "Vanto500", ""}) {
        SCOPED_TRACE(model);
        kesto::test::ClearLog();
        USBPort port("", model);
        EXPECT_FALSE(port.Open());
        EXPECT_EQ(port.GetLastError(), 19);
        EXPECT_FALSE(port.GetConnected());
        EXPECT_TRUE(LogContains("Device Modal is not defined\n"));
        EXPECT_FALSE(LogContains("PRINTER_MODEL_"));
        EXPECT_EQ(port.Write("abc", 3, 0), 0);
    }
    EXPECT_EQ(printer.OpenCount(), 0);
    EXPECT_TRUE(printer.OutTransfers().empty());
}

TEST_F(UsbTransportTest, NoPrinterOfTheModelGivesError2) {
    FakeUsbPrinterConfig other;
    other.vendorId = 0x04b8;  // another maker's printer with the same product id
    FakeUsbPrinter& stranger = testbed.AddPrinter(other);
    FakeUsbPrinterConfig sibling;
    sibling.address = 3;
    sibling.productId = kesto::kUsbProductTorqa10;
    testbed.AddPrinter(sibling);

    USBPort port("", "VANTO500");
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.GetLastError(), 2);
    EXPECT_FALSE(port.GetConnected());
    EXPECT_TRUE(LogContains("Could not Claimed Interface 2\n"));
    EXPECT_EQ(stranger.OpenCount(), 0);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_FALSE(LogContains("USBPort::Closed\n"));
}

TEST_F(UsbTransportTest, KernelDriverIsDetachedAtOpenAndGivenBackAtClose) {
    FakeUsbPrinterConfig config;
    config.kernelDriverBound = true;
    FakeUsbPrinter& printer = testbed.AddPrinter(config);
    {
        USBPort port("", "VANTO500");
        ASSERT_TRUE(port.Open());
        EXPECT_TRUE(LogContains("Kernel Driver Active\n"));
        EXPECT_TRUE(LogContains("Kernel Driver Detached!\n"));
        EXPECT_FALSE(printer.KernelDriverBound(0));
        EXPECT_TRUE(printer.Claimed(0));

        EXPECT_EQ(port.Close(), 1);
        EXPECT_FALSE(port.GetConnected());
        EXPECT_TRUE(LogContains("USBPort::Closed\n"));
        EXPECT_TRUE(printer.KernelDriverBound(0));
        EXPECT_FALSE(printer.Claimed(0));
        EXPECT_EQ(printer.AttachCount(), 1);
    }
    // The destructor's Close has nothing left to give back.
    EXPECT_EQ(printer.AttachCount(), 1);
    EXPECT_EQ(LogCount("USBPort::Closed\n"), 1u);
    EXPECT_TRUE(printer.WaitForOpenClients(0));

    // Without a kernel driver there is nothing to detach or give back.
    printer.SetKernelDriverBound(0, false);
    kesto::test::ClearLog();
    USBPort plain("", "VANTO500");
    ASSERT_TRUE(plain.Open());
    plain.Close();
    EXPECT_FALSE(LogContains("Kernel Driver Active\n"));
    EXPECT_FALSE(printer.KernelDriverBound(0));
    EXPECT_EQ(printer.DetachCount(), 1);
}

TEST_F(UsbTransportTest, RefusedClaimClosesTheDeviceAndKeepsTheKernelDriver) {
    FakeUsbPrinterConfig config;
    config.kernelDriverBound = true;
    FakeUsbPrinter& printer = testbed.AddPrinter(config);
    printer.RefuseClaim(EBUSY);

    USBPort port("", "VANTO500");
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.GetConnected());
    EXPECT_TRUE(LogContains("Cannot Claim Interface\n"));
    EXPECT_FALSE(LogContains("Claimed Interface\n"));
    EXPECT_TRUE(printer.WaitForOpenClients(0));
    EXPECT_TRUE(printer.KernelDriverBound(0));
    EXPECT_EQ(port.Write("abc", 3, 0), 0);
    EXPECT_TRUE(printer.OutTransfers().empty());

    // Once the printer lets go, the same transport opens.
    printer.RefuseClaim(0);
    EXPECT_TRUE(port.Open());
    EXPECT_TRUE(printer.Claimed(0));
}

TEST_F(UsbTransportTest, EachWriteReachesTheOutEndpointWithItsBytes) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500");
    ASSERT_TRUE(port.Open());

    const std::string init("\x1b\x40", 2);
    std::string block(300, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    EXPECT_EQ(port.Write(init.data(), static_cast<int>(init.size()), 0), 2);
    EXPECT_EQ(port.Write(block.data(), static_cast<int>(block.size()), 0), 300);

    auto transfers = printer.OutTransfers();
    ASSERT_EQ(transfers.size(), 2u);
    EXPECT_EQ(transfers[0].endpoint, kesto::kUsbEndpointOut);
    EXPECT_EQ(transfers[0].data, ToBytes(init));
    EXPECT_EQ(transfers[1].data, ToBytes(block));

    // A printer that takes less than asked gets the rest in further transfers.
    printer.SetOutChunkLimit(64);
    EXPECT_EQ(port.Write(block.data(), 150, 0), 150);
    transfers = printer.OutTransfers();
    ASSERT_EQ(transfers.size(), 5u);
    EXPECT_EQ(transfers[2].data.size(), 64u);
    EXPECT_EQ(transfers[3].data.size(), 64u);
    EXPECT_EQ(transfers[4].data, Bytes(block.begin() + 128, block.begin() + 150));

    EXPECT_EQ(port.Write(block.data(), 0, 0), 0);
    EXPECT_EQ(port.Write(nullptr, 5, 0), 0);
    EXPECT_EQ(printer.OutTransfers().size(), 5u);
}

TEST_F(UsbTransportTest, WriteGivesUpAfterThePerTransferTimeout) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500");
    ASSERT_TRUE(port.Open());

    printer.QueueOutReply(OutReply{SIZE_MAX, 0, /*hold=*/true});
    const auto start = Clock::now();
    EXPECT_EQ(port.Write("0123456789", 10, 300), 10);  // taken before the time-out
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(250));
    EXPECT_LT(elapsed, std::chrono::seconds(30));  // far from the 60 s default
    EXPECT_TRUE(LogContains("Write::libusb_bulk_transfer failed. Error Code "));
    EXPECT_TRUE(LogContains(":: RetVal " + std::to_string(LIBUSB_ERROR_TIMEOUT) + "\n"));

    // The next write goes through normally.
    EXPECT_EQ(port.Write("ok", 2, 300), 2);
    EXPECT_EQ(printer.OutTransfers().back().data, ToBytes("ok"));
}

TEST_F(UsbTransportTest, FailedTransfersCountWhatTheyMovedAndAStallIsCleared) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500");
    ASSERT_TRUE(port.Open());
    const std::string data(100, 'D');

    // 40 bytes go out, then a transfer fails after moving 10 more: all 50 count.
    printer.QueueOutReply(OutReply{40, 0, false});
    printer.QueueOutReply(OutReply{10, -EPROTO, false});
    EXPECT_EQ(port.Write(data.data(), 100, 0), 50);
    EXPECT_EQ(printer.OutBytes().size(), 50u);  // what the printer saw
    EXPECT_EQ(LogCount("Write::libusb_bulk_transfer failed."), 1u);
    EXPECT_EQ(printer.OutTransfers().size(), 2u);  // not retried

    // A stall on the first transfer: nothing counted, and the halt is cleared,
    // so the next write goes out on the same handle.
    printer.QueueOutReply(OutReply{0, -EPIPE, false});
    EXPECT_EQ(port.Write(data.data(), 100, 0), 0);
    EXPECT_TRUE(LogContains(":: RetVal " + std::to_string(LIBUSB_ERROR_PIPE) + "\n"));
    EXPECT_EQ(port.Write(data.data(), 3, 0), 3);

    // A time-out after part of the data: what reached the printer counts.
    printer.QueueOutReply(OutReply{30, 0, false});
    printer.QueueOutReply(OutReply{5, 0, /*hold=*/true});
    EXPECT_EQ(port.Write(data.data(), 100, 200), 35);

    // A printer that accepts a transfer but takes nothing ends the write.
    printer.QueueOutReply(OutReply{0, 0, false});
    EXPECT_EQ(port.Write(data.data(), 100, 0), 0);
}

TEST_F(UsbTransportTest, VanishedPrinterFailsTransfersUntilClosed) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500", kShortReadMs * 10);
    ASSERT_TRUE(port.Open());
    ASSERT_EQ(port.Write("a", 1, 0), 1);

    // A status read waiting when the printer goes away ends at once.
    char buffer[256];
    auto pendingRead = std::async(std::launch::async, [&] { return port.Read(buffer, 256); });
    ASSERT_TRUE(printer.WaitForPendingIn(std::chrono::seconds(5)));
    printer.Vanish();
    EXPECT_EQ(pendingRead.get(), 0);

    EXPECT_EQ(port.Write("bcd", 3, 0), 0);
    EXPECT_TRUE(LogContains(":: RetVal " + std::to_string(LIBUSB_ERROR_NO_DEVICE) + "\n"));
    EXPECT_EQ(port.Read(buffer, 256), 0);
    EXPECT_TRUE(port.GetConnected());  // the loss shows only in the transfers
    EXPECT_EQ(port.Close(), 1);
    EXPECT_FALSE(port.GetConnected());
    EXPECT_EQ(printer.OutBytes(), ToBytes("a"));
}

TEST_F(UsbTransportTest, StatusBlockIsReadAndReportedToTheCallback) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500", kShortReadMs);
    ASSERT_TRUE(port.Open());
    port.SetPrinterStatusNotifyCallBack(&RecordStatus);
    EXPECT_TRUE(LogContains("USBPort::SetPrinterStatusNotifyCallBack\n"));

    char buffer[256] = {};
    printer.QueueStatus({0x14, 0x00, 0x00, 0x00});
    EXPECT_EQ(port.Read(buffer, 0), 4);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{0x14, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(LogContains("USBPort::Read Received 4 Bytes\n"));

    printer.QueueStatus({0x30, 0x00, 0x00, 0x00});  // cover open
    EXPECT_EQ(port.GetPrinterStatus(), 7);
    EXPECT_EQ(g_lastCallbackCode.load(), 7);
    printer.QueueStatus({0x10, 0x00, 0x00, 0x00});  // closed again
    EXPECT_EQ(port.GetPrinterStatus(), 9);
    EXPECT_EQ(g_lastCallbackCode.load(), 9);
    // Two blocks in one read: the second counts.
    printer.QueueStatus({0x10, 0x00, 0x0C, 0x00, 0x10, 0x00, 0x03, 0x00});
    EXPECT_EQ(port.GetPrinterStatus(), 24);
    EXPECT_EQ(g_callbackCalls.load(), 3);
    EXPECT_EQ(printer.InTransfersSubmitted(), 4);

    // Removing the callback stops the reports.
    port.SetPrinterStatusNotifyCallBack(nullptr);
    printer.QueueStatus({0x10, 0x00, 0x00, 0x00});
    EXPECT_EQ(port.GetPrinterStatus(), 23);
    EXPECT_EQ(g_callbackCalls.load(), 3);
}

TEST_F(UsbTransportTest, SilentPrinterTimesOutAndReportsNothing) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500", kShortReadMs);
    ASSERT_TRUE(port.Open());

    char buffer[256];
    EXPECT_EQ(port.Read(buffer, 256), 0);
    EXPECT_TRUE(LogContains("DEBUG: Got USB transaction timeout during read.\n"));
    EXPECT_TRUE(LogContains("Read::libusb_bulk_transfer failed. Error Code "));
    EXPECT_TRUE(LogContains("::: RetVal " + std::to_string(LIBUSB_ERROR_TIMEOUT) + "\n"));

    // A partial block before the time-out is still handed over.
    printer.QueueInReply(InReply{{0x12, 0x00}, -EPIPE});
    EXPECT_EQ(port.Read(buffer, 256), 2);
    EXPECT_TRUE(LogContains("DEBUG: Got USB pipe stalled during read.\n"));

    kesto::test::ClearLog();
    port.SetPrinterStatusNotifyCallBack(&RecordStatus);
    const int before = printer.InTransfersSubmitted();
    EXPECT_EQ(port.GetPrinterStatus(), 0);
    EXPECT_EQ(printer.InTransfersSubmitted() - before, 3);
    EXPECT_EQ(LogCount("DEBUG: Got USB transaction timeout during read.\n"), 3u);
    EXPECT_TRUE(LogContains("GetStatusCode: Get Value Return Error\n"));
    EXPECT_EQ(g_callbackCalls.load(), 1);
    EXPECT_EQ(g_lastCallbackCode.load(), 0);
}

TEST_F(UsbTransportTest, PostedStopEventEndsThePollWithoutReading) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500", kShortReadMs);
    ASSERT_TRUE(port.Open());
    port.SetPrinterStatusNotifyCallBack(&RecordStatus);
    InitEvent(&_terminateReader);
    TriggerEvent(&_terminateReader);
    printer.QueueStatus({0x30, 0x00, 0x00, 0x00});

    EXPECT_EQ(port.GetPrinterStatus(), 0);
    EXPECT_TRUE(LogContains("USBPort::sem_timedwait() succeeded\n"));
    EXPECT_EQ(printer.InTransfersSubmitted(), 0);
    EXPECT_EQ(g_callbackCalls.load(), 0);

    // The event was taken: the next poll reads the waiting block.
    EXPECT_EQ(port.GetPrinterStatus(), 7);
    EXPECT_EQ(g_callbackCalls.load(), 1);
    DestroyEvent(&_terminateReader);
}

TEST_F(UsbTransportTest, CloseWithoutOpenOnlyClearsTheFlag) {
    USBPort port("1:7", "VANTO500");
    EXPECT_EQ(port.Close(), 1);
    EXPECT_FALSE(port.GetConnected());
    EXPECT_FALSE(LogContains("USBPort::Closed\n"));
    char buffer[256];
    EXPECT_EQ(port.Read(buffer, 256), 0);
    EXPECT_EQ(port.GetLastError(), 0);
    EXPECT_TRUE(LogContains("Inside Constructor\n"));
    EXPECT_TRUE(LogContains("Modal is VANTO500\n"));
}

TEST_F(UsbTransportTest, RepeatedOpenAndCloseReleaseContextsAndDevices) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    {
        USBPort warmup("", "VANTO500");
        ASSERT_TRUE(warmup.Open());
    }
    const int fdsBefore = OpenEventFdCount();

    USBPort port("", "VANTO500");
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(port.Open());
        EXPECT_GT(OpenEventFdCount(), fdsBefore);  // the open context's own
        ASSERT_EQ(port.Write("p", 1, 0), 1);
        EXPECT_EQ(port.Close(), 1);
    }
    // A second Open without Close gives up the first device and context.
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(printer.WaitForOpenClients(1));
    EXPECT_EQ(port.Write("q", 1, 0), 1);
    port.Close();

    EXPECT_TRUE(printer.WaitForOpenClients(0));
    EXPECT_EQ(printer.OpenCount(), 8);
    EXPECT_EQ(OpenEventFdCount(), fdsBefore);
    EXPECT_EQ(printer.OutBytes(), ToBytes("pppppq"));
}

}  // namespace
