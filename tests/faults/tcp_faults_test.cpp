// A network printer that misbehaves: the host gets a failure result and an
// error number, never a dead process, a hang, or a stream with bytes lost or
// out of order.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "faults/fault_helpers.h"
#include "fixtures/fake_tcp_printer.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"
#include "transport/ethernet_transport.h"

namespace {

using kesto::test::ArrivedInOrder;
using kesto::test::BrokenPipeIsFatal;
using kesto::test::DeviceHandle;
using kesto::test::EthDescription;
using kesto::test::FakeTcpPrinter;
using kesto::test::FakeTcpPrinterOptions;
using kesto::test::LogContains;
using kesto::test::Payload;
using kesto::test::RefusedPort;
using kesto::test::Timed;
using kesto::test::UnansweredPort;
using kesto::test::WaitUntil;
using kesto::test::Write;
using std::chrono::milliseconds;

EthernetTimeouts Short() {
    EthernetTimeouts timeouts;
    timeouts.connect = milliseconds(300);
    timeouts.send = milliseconds(50);
    timeouts.receive = milliseconds(100);
    return timeouts;
}

bool IsBrokenConnection(int error) {
    return error == EPIPE || error == ECONNRESET;
}

TEST(TcpPrinterRefuses, EveryCallFailsWithTheRefusalAndTheNextHandleWorks) {
    RefusedPort refused;
    DeviceHandle device(EthDescription(refused.Path()));
    ASSERT_NE(device.get(), nullptr);
    EXPECT_EQ(Write(device.get(), "abc"), -1);
    EXPECT_EQ(KESTO_GetLastError(device.get()), ECONNREFUSED);
    EXPECT_EQ(KESTO_PrintText(device.get(), "abc", 3, false), -1);
    EXPECT_EQ(KESTO_GetPrinterStatus(device.get()), -1);
    EXPECT_EQ(KESTO_OnPrinterError(device.get(), nullptr), -1);
    EXPECT_EQ(KESTO_GetLastError(device.get()), ECONNREFUSED);
    EXPECT_TRUE(LogContains("Error in Socket Connect Error Code :: " + std::to_string(ECONNREFUSED) + "\n"));
    EXPECT_FALSE(g_bPrintInProgress.load());
    EXPECT_EQ(device.Destroy(), 1);

    FakeTcpPrinter printer;
    DeviceHandle again(EthDescription(printer.Path()));
    EXPECT_EQ(Write(again.get(), "abc"), 3);
    ASSERT_TRUE(printer.WaitForBytes(3));
    EXPECT_EQ(printer.Received(), "abc");
}

TEST(TcpPrinterNeverAnswers, ConnectEndsWithATimeOutAndNoSocketIsLeftBehindByClose) {
    UnansweredPort silent;
    ASSERT_TRUE(silent.Ready());
    Ethernet transport(silent.Path(), Short());
    bool opened = true;
    const milliseconds took = Timed([&] { opened = transport.Open(); });
    EXPECT_FALSE(opened);
    EXPECT_LT(took, milliseconds(5000));  // bounded by the connect time-out, not the system's minutes
    EXPECT_EQ(transport.GetLastError(), ETIMEDOUT);
    EXPECT_TRUE(
        LogContains("Error in Socket Connect Timeout Error Code :: " + std::to_string(ETIMEDOUT) + "\n"));
    EXPECT_FALSE(transport.GetConnected());
    EXPECT_EQ(transport.Close(), 1);
    EXPECT_EQ(transport.SocketFd(), -1);
    EXPECT_EQ(transport.Write("x", 1, 0), 0);  // nothing to write to any more
}

TEST(TcpPrinterClosesMidJob, WriteFailsWithoutSignalAndTheBytesBeforeTheCloseArrivedInOrder) {
    ASSERT_TRUE(BrokenPipeIsFatal());
    FakeTcpPrinter printer;
    const size_t closeAt = 100 * 1000;
    printer.CloseAfter(closeAt);
    DeviceHandle device(EthDescription(printer.Path()));
    const std::string first = Payload(4000, 1);
    const std::string job = Payload(8 * 1024 * 1024, 2);

    ASSERT_EQ(Write(device.get(), first), static_cast<int>(first.size()));
    EXPECT_EQ(Write(device.get(), job), -1);
    EXPECT_TRUE(IsBrokenConnection(KESTO_GetLastError(device.get()))) << KESTO_GetLastError(device.get());
    EXPECT_FALSE(g_bPrintInProgress.load());
    // Later calls on the broken connection fail the same way, without a signal.
    EXPECT_EQ(Write(device.get(), "more"), -1);
    EXPECT_EQ(KESTO_PrintText(device.get(), "text", 4, false), -1);
    EXPECT_TRUE(IsBrokenConnection(KESTO_GetLastError(device.get())));

    const std::string sent = first + job;
    EXPECT_EQ(printer.ReceivedSize(), closeAt);
    EXPECT_TRUE(ArrivedInOrder(printer.Received(), sent, first.size()));
    EXPECT_EQ(device.Destroy(), 1);
}

TEST(TcpPrinterResets, WriteAfterTheResetFailsAndNothingOfItArrives) {
    ASSERT_TRUE(BrokenPipeIsFatal());
    FakeTcpPrinter printer;
    DeviceHandle device(EthDescription(printer.Path()));
    const std::string before = Payload(10000, 3);
    ASSERT_EQ(Write(device.get(), before), static_cast<int>(before.size()));
    ASSERT_TRUE(printer.WaitForBytes(before.size()));
    printer.ResetConnection();

    const std::string job = Payload(4 * 1024 * 1024, 4);
    EXPECT_EQ(Write(device.get(), job), -1);
    EXPECT_TRUE(IsBrokenConnection(KESTO_GetLastError(device.get()))) << KESTO_GetLastError(device.get());
    EXPECT_TRUE(LogContains("ERROR Unable to write print to socket data Error Code :: " +
                            std::to_string(KESTO_GetLastError(device.get())) + "\n"));
    EXPECT_EQ(printer.Received(), before);
}

TEST(TcpPrinterStopsReading, WriteEndsWithATimeOutAndTheStreamStaysInOrderAfterwards) {
    FakeTcpPrinterOptions options;
    options.receiveBufferBytes = 4096;
    FakeTcpPrinter printer(options);
    printer.StopReading();
    Ethernet transport(printer.Path(), Short());
    ASSERT_TRUE(transport.Open());
    const std::string job = Payload(16 * 1024 * 1024, 5);

    int result = 0;
    const milliseconds took =
        Timed([&] { result = transport.Write(job.data(), static_cast<int>(job.size()), 0); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(transport.GetLastError(), ETIMEDOUT);
    EXPECT_LT(took, milliseconds(20000));  // twelve short waits, not for ever

    // What the kernel had taken before the time-out arrives once the printer
    // reads again, followed by the next job: nothing repeated or swapped.
    printer.ResumeReading();
    const std::string next = Payload(5000, 6);
    ASSERT_EQ(transport.Write(next.data(), static_cast<int>(next.size()), 0), static_cast<int>(next.size()));
    ASSERT_TRUE(WaitUntil([&] {
        const std::string received = printer.Received();
        return received.size() >= next.size() &&
               received.compare(received.size() - next.size(), next.size(), next) == 0;
    }));
    const std::string received = printer.Received();
    const std::string jobPart = received.substr(0, received.size() - next.size());
    EXPECT_GT(jobPart.size(), 0u);
    EXPECT_TRUE(ArrivedInOrder(jobPart, job, 0));
}

TEST(TcpPrinterReadsSlowly, EveryByteArrivesInOrderThroughTheApi) {
    FakeTcpPrinter printer;
    printer.ReadSlowly(8 * 1024, milliseconds(2));
    DeviceHandle device(EthDescription(printer.Path()));
    const std::string job = Payload(1024 * 1024, 8);
    EXPECT_EQ(Write(device.get(), job), static_cast<int>(job.size()));
    // Text stops at its first zero byte: printable letters only.
    std::string text = Payload(20000, 9);
    for (char& c : text) c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
    EXPECT_EQ(KESTO_PrintText(device.get(), text.data(), static_cast<int>(text.size()), false),
              static_cast<int>(text.size()) + 8);
    const std::string expected = job + std::string("\x1B\x4D\x00", 3) +
                                 std::string("\x1B\x40\x1B\x21\x00\x00\x00\x00", 8) + text +
                                 std::string("\x1B\x64\x01", 3);
    ASSERT_TRUE(printer.WaitForBytes(expected.size(), milliseconds(20000)));
    EXPECT_TRUE(printer.Received() == expected);
    EXPECT_EQ(KESTO_GetLastError(device.get()), 0);
}

TEST(TcpPrinterRestarts, OldHandleFailsAndANewHandleReachesTheRestartedPrinter) {
    ASSERT_TRUE(BrokenPipeIsFatal());
    auto printer = std::make_unique<FakeTcpPrinter>();
    DeviceHandle device(EthDescription(printer->Path()));
    ASSERT_EQ(Write(device.get(), "before"), 6);
    ASSERT_TRUE(printer->WaitForBytes(6));
    EXPECT_EQ(printer->Received(), "before");
    printer.reset();  // switched off: its end of the connection is gone

    // The first write may still be taken by the kernel; the loss shows within a few.
    int result = 0;
    for (int attempt = 0; attempt < 50 && result != -1; ++attempt) {
        result = Write(device.get(), Payload(64 * 1024, 10));
        if (result != -1) std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(IsBrokenConnection(KESTO_GetLastError(device.get())));
    EXPECT_EQ(device.Destroy(), 1);

    FakeTcpPrinter restarted;
    DeviceHandle fresh(EthDescription(restarted.Path()));
    const std::string job = Payload(300000, 11);
    EXPECT_EQ(Write(fresh.get(), job), static_cast<int>(job.size()));
    ASSERT_TRUE(restarted.WaitForBytes(job.size()));
    EXPECT_TRUE(restarted.Received() == job);
    EXPECT_EQ(KESTO_GetLastError(fresh.get()), 0);
}

TEST(TcpPrinterClosesWhileThePrinterIsPolled, StatusThreadKeepsPollingCalmlyAndStopsPromptly) {
    FakeTcpPrinter printer;
    DeviceHandle device(EthDescription(printer.Path()));
    ASSERT_EQ(KESTO_OnPrinterError(device.get(), [](int) { return 0; }), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(device.get()), 1);
    ASSERT_TRUE(printer.WaitForBytes(4));
    printer.CloseConnection();
    ASSERT_TRUE(WaitUntil([] { return LogContains("Ethernet::Read Received 0 Bytes \n"); }));

    // Every read now ends at once; the thread goes on polling, but not in a
    // tight loop that burns a core and floods the log (hundreds of polls in
    // half a second without a pause).
    const std::string poll = "g_bPrintInProgress value is 0\n";
    const size_t before = kesto::test::LogCount(poll);
    std::this_thread::sleep_for(milliseconds(500));
    const size_t polls = kesto::test::LogCount(poll) - before;
    EXPECT_GE(polls, 1u);
    EXPECT_LE(polls, 50u);
    EXPECT_NE(_threadHandle.load(), static_cast<pthread_t>(0));

    const milliseconds took = Timed([&] { KESTO_DestroyStatusThread(device.get()); });
    EXPECT_LT(took, milliseconds(3000));
    EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    EXPECT_TRUE(LogContains("Thread is Exited\n"));
    EXPECT_EQ(device.Destroy(), 1);
}

}  // namespace
