// A host that calls in the wrong order or with the wrong things: the library
// keeps the process alive and its threads and bytes in order.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "faults/fault_helpers.h"
#include "fixtures/fake_tcp_printer.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace {

using kesto::test::DeviceHandle;
using kesto::test::EthDescription;
using kesto::test::FakeTcpPrinter;
using kesto::test::LogContains;
using kesto::test::LogCount;
using kesto::test::Payload;
using kesto::test::ThreadCount;
using kesto::test::WaitUntil;
using kesto::test::Write;
using std::chrono::milliseconds;

const std::string kAutoStatusBack("\x1D\x61\x0F\x00", 4);

int IgnoreStatus(int) {
    return 0;
}

TEST(HostMisuse, DestroyingTheHandleTheStatusThreadPollsStopsTheThreadFirst) {
    FakeTcpPrinter printer;
    FakeTcpPrinter other;
    const int baseline = ThreadCount();
    DeviceHandle polled(EthDescription(printer.Path()));
    DeviceHandle unrelated(EthDescription(other.Path()));
    ASSERT_EQ(Write(unrelated.get(), "x"), 1);
    ASSERT_EQ(KESTO_OnPrinterError(polled.get(), &IgnoreStatus), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(polled.get()), 1);
    ASSERT_TRUE(printer.WaitForBytes(4));
    ASSERT_TRUE(printer.SendStatus({0x10, 0x00, 0x00, 0x00}));
    EXPECT_EQ(ThreadCount(), baseline + 1);

    // Another handle going away leaves the thread alone.
    EXPECT_EQ(unrelated.Destroy(), 1);
    EXPECT_NE(_threadHandle.load(), static_cast<pthread_t>(0));
    EXPECT_EQ(ThreadCount(), baseline + 1);

    EXPECT_EQ(polled.Destroy(), 1);
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    EXPECT_EQ(ThreadCount(), baseline);
    EXPECT_TRUE(LogContains("Thread Killed\n"));
    EXPECT_TRUE(printer.WaitForClientClose());
    EXPECT_EQ(printer.Received(), kAutoStatusBack);
    KESTO_DestroyStatusThread(nullptr);  // nothing left to stop
    EXPECT_EQ(LogCount("Thread Killed\n"), 1u);
}

// Every command of the API that sends something, with its failure value.
std::vector<std::pair<const char*, std::function<int(void*)>>> Commands() {
    return {
        {"KESTO_WriteData", [](void* h) { return KESTO_WriteData(h, "raw", 3); }},
        {"KESTO_PrintText", [](void* h) { return KESTO_PrintText(h, "text", 4, false); }},
        {"PrintText", [](void* h) { return PrintText(h, "text"); }},
        {"KESTO_CutPaper", [](void* h) { return KESTO_CutPaper(h); }},
        {"KESTO_FeedAndCutPaper", [](void* h) { return KESTO_FeedAndCutPaper(h); }},
        {"KESTO_OpenCashDrawerA", [](void* h) { return KESTO_OpenCashDrawerA(h, 50, 50); }},
        {"KESTO_OpenCashDrawerB", [](void* h) { return KESTO_OpenCashDrawerB(h, 50, 50); }},
        {"KESTO_PrintBarcode", [](void* h) { return KESTO_PrintBarcode(h, 265, "ABC123", 6); }},
        {"KESTO_PrintSampleReceipt1", [](void* h) { return KESTO_PrintSampleReceipt1(h); }},
        {"KESTO_PrintSampleReceipt2", [](void* h) { return KESTO_PrintSampleReceipt2(h); }},
        {"KESTO_GetPrinterStatus", [](void* h) { return KESTO_GetPrinterStatus(h); }},
        {"KESTO_OnPrinterError", [](void* h) { return KESTO_OnPrinterError(h, &IgnoreStatus); }},
        {"SelectCharFontABold", [](void* h) { return SelectCharFontABold(h); }},
        {"SetLeftMargin", [](void* h) { return SetLeftMargin(h, 300); }},
        {"Set_Print_Range", [](void* h) { return Set_Print_Range(h, 1, 2, 3, 4, 5, 6, 7, 8); }},
        {"PrintNFeedNLines", [](void* h) { return PrintNFeedNLines(h, 3); }},
    };
}

TEST(HostMisuse, CallsAfterDeviceDisconnectedFailAndSendNothingUntilReconnected) {
    FakeTcpPrinter printer;
    DeviceHandle device(EthDescription(printer.Path()));
    ASSERT_EQ(Write(device.get(), "before"), 6);
    ASSERT_TRUE(printer.WaitForBytes(6));

    ASSERT_EQ(KESTO_DeviceDisconnected(device.get()), 1);
    for (const auto& command : Commands()) {
        EXPECT_EQ(command.second(device.get()), -1) << command.first;
    }
    // These two demonstration receipts answer 0 either way; they must not send.
    KESTO_PrintSampleReceipt3(device.get());
    KESTO_PrintSampleReceipt4(device.get());
    EXPECT_EQ(KESTO_GetLastError(device.get()), 0);
    EXPECT_FALSE(g_bPrintInProgress.load());
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(printer.Received(), "before");
    EXPECT_EQ(printer.Accepted(), 1);  // the connection itself was left alone

    ASSERT_EQ(KESTO_DeviceReconnected(device.get()), 1);
    size_t expected = 6;
    for (const auto& command : Commands()) {
        const size_t start = printer.ReceivedSize();
        // A status query waits for the printer's answer: give it one.
        if (std::string(command.first) == "KESTO_GetPrinterStatus") {
            ASSERT_TRUE(printer.SendStatus({0x10, 0, 0, 0}));
        }
        EXPECT_GE(command.second(device.get()), 0) << command.first;
        if (std::string(command.first) == "KESTO_GetPrinterStatus" ||
            std::string(command.first) == "KESTO_OnPrinterError") {
            continue;  // these read or register, they send nothing
        }
        ASSERT_TRUE(printer.WaitForBytes(start + 1)) << command.first << " sent nothing";
        expected = printer.ReceivedSize();
    }
    const std::string tail = Payload(1000, 31);
    EXPECT_EQ(Write(device.get(), tail), 1000);
    ASSERT_TRUE(printer.WaitForBytes(expected + tail.size()));
    const std::string received = printer.Received();
    EXPECT_EQ(received.substr(0, 6), "before");
    EXPECT_EQ(received.substr(received.size() - tail.size()), tail);
    EXPECT_EQ(printer.Accepted(), 1);
}

TEST(HostMisuse, SecondStatusThreadReplacesTheFirstAndExactlyOneRuns) {
    FakeTcpPrinter printer;
    DeviceHandle device(EthDescription(printer.Path()));
    ASSERT_EQ(Write(device.get(), "x"), 1);
    const int baseline = ThreadCount();
    ASSERT_EQ(KESTO_CreateStatusThread(device.get()), 1);
    ASSERT_TRUE(printer.WaitForBytes(1 + 4));
    ASSERT_EQ(KESTO_CreateStatusThread(device.get()), 1);
    ASSERT_TRUE(printer.WaitForBytes(1 + 8));
    EXPECT_NE(_threadHandle.load(), static_cast<pthread_t>(0));
    EXPECT_EQ(ThreadCount(), baseline + 1);
    EXPECT_EQ(LogCount("Thread is Exited\n"), 1u);
    EXPECT_EQ(printer.Received(), "x" + kAutoStatusBack + kAutoStatusBack);

    KESTO_DestroyStatusThread(device.get());
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    EXPECT_EQ(ThreadCount(), baseline);
}

TEST(HostMisuse, TwoDetectorsAndANullOneAreDestroyedWithoutLeavingThreads) {
    std::thread([] {}).join();  // a sanitizer starts its own helper thread with the first one
    const int baseline = ThreadCount();
    void* first = KESTO_CreateHardwareDetector(nullptr);
    void* second = KESTO_CreateHardwareDetector(nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_GT(ThreadCount(), baseline);
    EXPECT_EQ(KESTO_DestroyHardwareDetector(second), 1);
    EXPECT_EQ(KESTO_DestroyHardwareDetector(first), 1);
    EXPECT_EQ(KESTO_DestroyHardwareDetector(nullptr), 1);
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == baseline; })) << ThreadCount() << " vs " << baseline;
}

// A text handed over with its length and no terminating zero (as a JVM byte
// array comes): nothing past its last byte may be read, not even for the log.
TEST(HostMisuse, TextWithoutTerminatorIsReadOnlyUpToItsLength) {
    FakeTcpPrinter printer;
    DeviceHandle device(EthDescription(printer.Path()));
    const long page = ::sysconf(_SC_PAGESIZE);
    void* pages = ::mmap(nullptr, static_cast<size_t>(page) * 2, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    // The text ends exactly where an unreadable page begins.
    ASSERT_EQ(::mprotect(static_cast<char*>(pages) + page, static_cast<size_t>(page), PROT_NONE), 0);
    const std::string text = "TOTAL 12.50";
    char* end = static_cast<char*>(pages) + page;
    std::memcpy(end - text.size(), text.data(), text.size());

    EXPECT_EQ(KESTO_PrintText(device.get(), end - text.size(), static_cast<int>(text.size()), false),
              static_cast<int>(text.size()) + 8);
    EXPECT_TRUE(LogContains("KESTO_PrintText Text " + text + "\n"));
    const std::string block = std::string("\x1B\x4D\x00", 3) +
                              std::string("\x1B\x40\x1B\x21\x00\x00\x00\x00", 8) + text +
                              std::string("\x1B\x64\x01", 3);
    ASSERT_TRUE(printer.WaitForBytes(block.size()));
    EXPECT_EQ(printer.Received(), block);
    ::munmap(pages, static_cast<size_t>(page) * 2);
}

}  // namespace
