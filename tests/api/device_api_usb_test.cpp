// A USB printer opened the way the host does it: the description comes from
// the detector's list and is handed back to KESTO_CreateDevicePointer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/fake_usb_printer.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace {

using kesto::test::FakeUsbPrinter;
using kesto::test::FakeUsbPrinterConfig;
using kesto::test::LogContains;
using kesto::test::UsbTestbed;
using Bytes = std::vector<uint8_t>;

std::atomic<int> g_statusCalls{0};
std::atomic<int> g_lastStatus{-1};

int RecordStatus(int code) {
    ++g_statusCalls;
    g_lastStatus = code;
    return 0;
}

// The printer list of a fresh detector.
std::string DetectedList() {
    void* detector = KESTO_CreateHardwareDetector(nullptr);
    std::string list;
    const int size = KESTO_GetHardwareXML(detector, nullptr, 0);
    if (size > 0) {
        std::vector<char> buffer(static_cast<size_t>(size));
        if (KESTO_GetHardwareXML(detector, buffer.data(), buffer.size()) == size) list = buffer.data();
    }
    KESTO_DestroyHardwareDetector(detector);
    return list;
}

// The first device description of a printer list, or "".
std::string FirstDescription(const std::string& list) {
    const std::string::size_type begin = list.find("<device>");
    const std::string::size_type end = list.find("</device>");
    if (begin == std::string::npos || end == std::string::npos) return "";
    return list.substr(begin, end + 9 - begin);
}

void* Create(std::string description) {
    return KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()));
}

class DeviceApiUsbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kesto::test::InMockUsbEnvironment()) << "the umockdev preload is not active";
    }
    void TearDown() override {
        if (handle != nullptr) KESTO_DestroyDevicePointer(handle);
    }

    // Before the handle: the handle's libusb context must end before the testbed.
    UsbTestbed testbed;
    void* handle = nullptr;
};

TEST_F(DeviceApiUsbTest, ListedPrinterOpensAndTakesWritesAsOneTransfer) {
    FakeUsbPrinterConfig config;
    config.bus = 20;
    config.address = 5;
    FakeUsbPrinter& printer = testbed.AddPrinter(config);
    const std::string description = FirstDescription(DetectedList());
    ASSERT_EQ(description,
              "<device><type>USB</type><path>0014:0005:00</path><modal>VANTO500</modal>"
              "<maxpacket>12</maxpacket></device>");

    handle = Create(description);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(printer.OpenCount(), 0);  // nothing is opened before the first call that needs it

    const std::string data = std::string("\x1b@receipt line\n", 15) + std::string(300, 'x');
    EXPECT_EQ(KESTO_WriteData(handle, data.data(), static_cast<int>(data.size())),
              static_cast<int>(data.size()));
    const std::vector<kesto::test::OutTransfer> transfers = printer.OutTransfers();
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0].endpoint, 0x02);
    EXPECT_EQ(transfers[0].data, Bytes(data.begin(), data.end()));
    EXPECT_TRUE(printer.Claimed(0));
    EXPECT_EQ(KESTO_GetLastError(handle), 0);
    EXPECT_TRUE(LogContains("PRINTER_MODEL_VANTO500\n"));
    EXPECT_TRUE(LogContains("Claimed Interface\n"));
}

TEST_F(DeviceApiUsbTest, NoPrinterAttachedReportsTwo) {
    const std::string description =
        "<device><type>USB</type><path>0014:0005:00</path><modal>VANTO500</modal>"
        "<maxpacket>12</maxpacket></device>";
    handle = Create(description);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(KESTO_WriteData(handle, "x", 1), -1);
    EXPECT_EQ(KESTO_GetLastError(handle), 2);
    EXPECT_EQ(KESTO_OnPrinterError(handle, &RecordStatus), -1);
    EXPECT_EQ(KESTO_GetPrinterStatus(handle), -1);
    EXPECT_EQ(g_statusCalls.load(), 0);
}

TEST_F(DeviceApiUsbTest, UnknownModelReportsNineteenAndTouchesNoDevice) {
    FakeUsbPrinterConfig config;
    config.productId = 0x0004;  // a TORQA20 is attached, but the model name is not one we know
    FakeUsbPrinter& printer = testbed.AddPrinter(config);
    handle = Create(
        "<device><type>USB</type><path>0001:0002:00</path><modal>torqa20</modal>"
        "<maxpacket>12</maxpacket></device>");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(KESTO_WriteData(handle, "x", 1), -1);
    EXPECT_EQ(KESTO_GetLastError(handle), 19);
    EXPECT_TRUE(LogContains("Device Modal is not defined\n"));
    EXPECT_EQ(printer.OpenCount(), 0);
    EXPECT_TRUE(printer.OutBytes().empty());
}

TEST_F(DeviceApiUsbTest, DestroyReleasesTheInterfaceAndGivesTheKernelDriverBack) {
    FakeUsbPrinterConfig config;
    config.kernelDriverBound = true;
    FakeUsbPrinter& printer = testbed.AddPrinter(config);
    handle = Create(FirstDescription(DetectedList()));
    ASSERT_NE(handle, nullptr);

    ASSERT_EQ(KESTO_WriteData(handle, "abc", 3), 3);
    EXPECT_EQ(printer.DetachCount(), 1);
    EXPECT_FALSE(printer.KernelDriverBound(0));
    EXPECT_TRUE(printer.Claimed(0));

    EXPECT_EQ(KESTO_DestroyDevicePointer(handle), 1);
    handle = nullptr;
    EXPECT_EQ(printer.AttachCount(), 1);
    EXPECT_TRUE(printer.KernelDriverBound(0));
    EXPECT_FALSE(printer.Claimed(0));
    EXPECT_TRUE(printer.WaitForOpenClients(0));
    EXPECT_EQ(printer.OutBytes(), Bytes({'a', 'b', 'c'}));
}

TEST_F(DeviceApiUsbTest, StatusBlockReachesTheRegisteredCallback) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    handle = Create(FirstDescription(DetectedList()));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(KESTO_OnPrinterError(handle, &RecordStatus), 1);
    EXPECT_TRUE(LogContains("PrinterUsb::SetPrinterNotifyCallBack\n"));

    printer.QueueStatus({0x30, 0x00, 0x00, 0x00});  // cover open
    EXPECT_EQ(KESTO_GetPrinterStatus(handle), 7);
    EXPECT_EQ(g_statusCalls.load(), 1);
    EXPECT_EQ(g_lastStatus.load(), 7);

    printer.QueueStatus({0x10, 0x00, 0x00, 0x00});  // closed again
    EXPECT_EQ(KESTO_GetPrinterStatus(handle), 9);
    EXPECT_EQ(g_statusCalls.load(), 2);
    EXPECT_EQ(g_lastStatus.load(), 9);
    EXPECT_EQ(printer.InTransfersSubmitted(), 2);
}

}  // namespace

namespace {

std::vector<int> g_threadCodes;
std::mutex g_threadCodesMutex;

int RecordThreadStatus(int code) {
    std::lock_guard<std::mutex> guard(g_threadCodesMutex);
    if (code != 0) g_threadCodes.push_back(code);
    return 0;
}

std::vector<int> ThreadCodes() {
    std::lock_guard<std::mutex> guard(g_threadCodesMutex);
    return g_threadCodes;
}

TEST_F(DeviceApiUsbTest, StatusThreadSwitchesOnStatusBackAndReportsBlocks) {
    FakeUsbPrinter& printer = testbed.AddPrinter(FakeUsbPrinterConfig());
    handle = Create(FirstDescription(DetectedList()));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(KESTO_OnPrinterError(handle, RecordThreadStatus), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (printer.OutBytes().size() < 4 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(printer.OutBytes(), (Bytes{0x1D, 0x61, 0x0F, 0x00}));

    printer.QueueStatus({0x30, 0x00, 0x00, 0x00});  // cover open
    printer.QueueStatus({0x10, 0x00, 0x00, 0x00});  // cover closed
    while (ThreadCodes().size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ThreadCodes(), (std::vector<int>{7, 9}));

    // The printer then stays silent: the thread waits in a read and still stops at once.
    const auto stopStart = std::chrono::steady_clock::now();
    KESTO_DestroyStatusThread(handle);
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, std::chrono::seconds(3));
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
}

}  // namespace
