#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/fake_tcp_printer.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace {

using Clock = std::chrono::steady_clock;
using kesto::test::FakeTcpPrinter;
using kesto::test::LogContains;

std::mutex g_codesMutex;
std::vector<int> g_codes;

int RecordCode(int code) {
    std::lock_guard<std::mutex> guard(g_codesMutex);
    g_codes.push_back(code);
    return 0;
}

std::vector<int> NonZeroCodes() {
    std::lock_guard<std::mutex> guard(g_codesMutex);
    std::vector<int> codes;
    for (int code : g_codes) {
        if (code != 0) codes.push_back(code);
    }
    return codes;
}

size_t CallbackCalls() {
    std::lock_guard<std::mutex> guard(g_codesMutex);
    return g_codes.size();
}

bool WaitForCodes(size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(8000)) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (NonZeroCodes().size() >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void* Create(const std::string& path) {
    std::string description = "<device><type>ETH</type><path>" + path + "</path></device>";
    return KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()));
}

const std::string kAutoStatusBack("\x1D\x61\x0F\x00", 4);

class StatusThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> guard(g_codesMutex);
            g_codes.clear();
        }
        handle = Create(printer.Path());
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(KESTO_OnPrinterError(handle, RecordCode), 1);
    }
    void TearDown() override {
        KESTO_DestroyStatusThread(handle);
        EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
        KESTO_DestroyDevicePointer(handle);
    }
    // Starts the thread and waits for its command: from then on it polls.
    void Start() {
        ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
        ASSERT_TRUE(printer.WaitForBytes(4));
        ASSERT_EQ(printer.Received().substr(0, 4), kAutoStatusBack);
    }
    FakeTcpPrinter printer;
    void* handle = nullptr;
};

TEST_F(StatusThreadTest, StartsAfterOneSecondAndSwitchesOnAutomaticStatus) {
    const auto start = Clock::now();
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_NE(_threadHandle.load(), static_cast<pthread_t>(0));
    ASSERT_TRUE(printer.WaitForBytes(4));
    EXPECT_EQ(printer.Received(), kAutoStatusBack);
    EXPECT_TRUE(LogContains("Creating Status Thread\n"));
}

TEST_F(StatusThreadTest, StatusBlocksReachTheCallbackDecoded) {
    Start();
    ASSERT_TRUE(printer.SendStatus({0x10, 0x00, 0x00, 0x00}));  // pin low: first block of the process
    ASSERT_TRUE(WaitForCodes(1));
    ASSERT_TRUE(printer.SendStatus({0x30, 0x00, 0x00, 0x00}));  // cover open
    ASSERT_TRUE(WaitForCodes(2));
    ASSERT_TRUE(printer.SendStatus({0x10, 0x00, 0x00, 0x00}));  // cover closed
    ASSERT_TRUE(WaitForCodes(3));
    ASSERT_TRUE(printer.SendStatus({0x10, 0x00, 0x03, 0x00}));  // paper near end
    ASSERT_TRUE(WaitForCodes(4));
    ASSERT_TRUE(printer.SendStatus({0x10, 0x00, 0x00, 0x00}));  // near end cleared
    ASSERT_TRUE(WaitForCodes(5));
    ASSERT_TRUE(printer.SendStatus({0x10, 0x00, 0x0C, 0x00}));  // paper end
    ASSERT_TRUE(WaitForCodes(6));
    ASSERT_TRUE(printer.SendStatus({0x14, 0x00, 0x00, 0x00}));  // paper end cleared outranks pin high
    ASSERT_TRUE(WaitForCodes(7));
    EXPECT_EQ(NonZeroCodes(), (std::vector<int>{3, 7, 9, 24, 23, 19, 32}));
    EXPECT_TRUE(LogContains("inside Thread\n"));
}

TEST_F(StatusThreadTest, NoPollWhilePrintInProgress) {
    Start();
    g_bPrintInProgress = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let a poll in progress end
    ASSERT_TRUE(printer.SendStatus({0x30, 0x00, 0x00, 0x00}));
    const size_t callsBefore = CallbackCalls();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // A poll already waiting for the block may report it; no later poll starts.
    EXPECT_LE(CallbackCalls(), callsBefore + 1);
    EXPECT_TRUE(LogContains("Thread is NOT Running\n"));
    EXPECT_TRUE(LogContains("g_bPrintInProgress value is 1\n"));
    // Standing back pauses between passes instead of spinning.
    EXPECT_LT(kesto::test::LogCount("Thread is NOT Running\n"), 100u);
    g_bPrintInProgress = false;
    ASSERT_TRUE(WaitForCodes(1));
    EXPECT_EQ(NonZeroCodes().back(), 7);
}

TEST_F(StatusThreadTest, StopEndsAWaitingReadAtOnce) {
    Start();  // the printer stays silent: the thread waits in a 5 s read
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = Clock::now();
    KESTO_DestroyStatusThread(handle);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(LogContains("Ethernet::Read abandoned: the status thread is stopping\n"));
}

TEST_F(StatusThreadTest, DestroyStopsAPollingThreadAndLogsIt) {
    Start();
    ASSERT_TRUE(printer.SendStatus({0x10, 0x00, 0x00, 0x00}));
    ASSERT_TRUE(WaitForCodes(1));
    KESTO_DestroyStatusThread(handle);
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    EXPECT_TRUE(LogContains("KESTO_DestroyStatusThread\n"));
    EXPECT_TRUE(LogContains("Killing Thread Exit Flag Set to True\n"));
    EXPECT_TRUE(LogContains("Thread is Exited\n"));
    EXPECT_TRUE(LogContains("Thread Killed\n"));
    KESTO_DestroyStatusThread(handle);  // a second stop finds no thread
}

TEST_F(StatusThreadTest, GetPrinterStatusAnswersAndCallsTheCallback) {
    ASSERT_TRUE(printer.WaitForConnections(1));
    ASSERT_TRUE(printer.SendStatus({0x30, 0x00, 0x00, 0x00}));
    const int code = KESTO_GetPrinterStatus(handle);
    EXPECT_EQ(code, 7);
    EXPECT_EQ(NonZeroCodes(), std::vector<int>{7});
    EXPECT_TRUE(LogContains("Returning from KESTO_GetPrinterStatus\n"));
}

TEST(StatusThreadWithoutPrinter, EndsAtOnceAndStillStopsCleanly) {
    kesto::test::RefusedPort refused;
    void* handle = Create(refused.Path());
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(KESTO_GetPrinterStatus(handle), -1);
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
    EXPECT_NE(_threadHandle.load(), static_cast<pthread_t>(0));
    KESTO_DestroyStatusThread(handle);
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    EXPECT_FALSE(LogContains("inside Thread"));
    KESTO_DestroyDevicePointer(handle);
}

TEST(StatusThreadWithoutPrinter, DestroyWithoutThreadLogsOnlyItsName) {
    kesto::test::ClearLog();
    KESTO_DestroyStatusThread(nullptr);
    EXPECT_EQ(kesto::test::LogMessages(), std::vector<std::string>{"KESTO_DestroyStatusThread"});
}

TEST(StatusThreadMisuse, DestroyingTheHandleFirstStopsTheThreadInsteadOfCrashing) {
    FakeTcpPrinter printer;
    void* handle = Create(printer.Path());
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
    ASSERT_TRUE(printer.WaitForBytes(4));
    ASSERT_TRUE(printer.SendStatus({0x10, 0x00, 0x00, 0x00}));
    EXPECT_EQ(KESTO_DestroyDevicePointer(handle), 1);
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    KESTO_DestroyStatusThread(nullptr);
}

TEST(StatusThreadMisuse, SecondStartReplacesTheRunningThread) {
    FakeTcpPrinter printer;
    void* handle = Create(printer.Path());
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
    ASSERT_TRUE(printer.WaitForBytes(4));
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
    EXPECT_EQ(kesto::test::LogCount("Thread Killed\n"), 1u);
    EXPECT_EQ(kesto::test::LogCount("Thread is Exited\n"), 1u);
    ASSERT_TRUE(printer.WaitForBytes(8));  // the new thread sent its command too
    KESTO_DestroyStatusThread(handle);
    KESTO_DestroyDevicePointer(handle);
}

}  // namespace

namespace {

TEST(StatusThreadUnderLoad, FourHostThreadsPrintWhileTheThreadPolls) {
    kesto::test::FakeTcpPrinter printer;
    void* handle = Create(printer.Path());
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(KESTO_OnPrinterError(handle, RecordCode), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
    ASSERT_TRUE(printer.WaitForBytes(4));

    constexpr int kThreads = 4;
    constexpr int kLines = 50;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([handle, t] {
            for (int i = 0; i < kLines; ++i) {
                const std::string line = "thread " + std::to_string(t) + " line " + std::to_string(i);
                KESTO_PrintText(handle, line.c_str(), static_cast<int>(line.size()), false);
            }
        });
    }
    for (int i = 0; i < 10; ++i) {
        printer.SendStatus({static_cast<unsigned char>(i % 2 == 0 ? 0x30 : 0x10), 0x00, 0x00, 0x00});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (std::thread& writer : writers) writer.join();

    // Every text block arrived whole: header and text in one piece (another thread's
    // command may follow it before its own feed).
    const std::string header("\x1B\x40\x1B\x21\x00\x00\x00\x00", 8);
    const std::string received = printer.Received();
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kLines; ++i) {
            const std::string line = "thread " + std::to_string(t) + " line " + std::to_string(i);
            EXPECT_NE(received.find(header + line + "\x1B"), std::string::npos) << line;
        }
    }
    KESTO_DestroyStatusThread(handle);
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    KESTO_DestroyDevicePointer(handle);
}

}  // namespace
