#include "transport/ethernet_transport.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/fake_tcp_printer.h"
#include "support/log_reader.h"

namespace {

using kesto::test::CountOpenDescriptors;
using kesto::test::FakeTcpPrinter;
using kesto::test::FakeTcpPrinterOptions;
using kesto::test::LogContains;
using kesto::test::LogCount;
using kesto::test::RefusedPort;
using kesto::test::UnansweredPort;
using std::chrono::milliseconds;

// Short waits for the cases that run into a time-out on purpose.
EthernetTimeouts Fast() {
    EthernetTimeouts timeouts;
    timeouts.connect = milliseconds(300);
    timeouts.send = milliseconds(50);
    timeouts.receive = milliseconds(100);
    return timeouts;
}

std::string RandomBytes(size_t size) {
    std::mt19937 generator(12345);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator());
    return bytes;
}

int Write(Ethernet& transport, const std::string& bytes) {
    return transport.Write(bytes.data(), static_cast<int>(bytes.size()), 0);
}

// Polls the log until text occurs at least count times; false after 10 s.
bool WaitForLogCount(const std::string& text, size_t count) {
    for (int i = 0; i < 2000; ++i) {
        if (LogCount(text) >= count) return true;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return false;
}

TEST(EthernetOpen, ParsesHostAndPortAndConnects) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path());
    EXPECT_FALSE(transport.GetConnected());
    EXPECT_EQ(transport.SocketFd(), -1);  // nothing happens before Open

    ASSERT_TRUE(transport.Open());
    EXPECT_TRUE(transport.GetConnected());
    EXPECT_EQ(transport.PrinterIP(), "127.0.0.1");
    EXPECT_EQ(transport.PrinterPort(), std::to_string(printer.Port()));
    EXPECT_EQ(transport.PortNo(), printer.Port());
    EXPECT_TRUE(printer.WaitForConnections(1));
    EXPECT_NE(::fcntl(transport.SocketFd(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(transport.GetLastError(), 0);
    EXPECT_TRUE(LogContains("Ethernet::Host Name is " + printer.Path() + "\n"));
    EXPECT_TRUE(LogContains("Ethernet::nPortNo is " + std::to_string(printer.Port()) + "\n"));
    EXPECT_TRUE(LogContains("Socket Connected\n"));

    EXPECT_EQ(transport.Close(), 1);
    EXPECT_FALSE(transport.GetConnected());
    EXPECT_EQ(transport.SocketFd(), -1);
    EXPECT_TRUE(printer.WaitForClientClose());
    EXPECT_EQ(transport.Close(), 1);  // closing twice is harmless
    EXPECT_EQ(LogCount("Ethernet Socket Closed\n"), 1u);
}

TEST(EthernetOpen, HostNamesAreResolved) {
    FakeTcpPrinter printer;
    Ethernet transport("localhost:" + std::to_string(printer.Port()));
    EXPECT_TRUE(transport.Open());
    EXPECT_TRUE(printer.WaitForConnections(1));
}

TEST(EthernetOpen, PortWithoutLeadingDigitsIsZero) {
    Ethernet noDigits("127.0.0.1:x9100", Fast());
    EXPECT_FALSE(noDigits.Open());
    EXPECT_EQ(noDigits.PrinterPort(), "x9100");
    EXPECT_EQ(noDigits.PortNo(), 0);

    // The first colon splits; the rest is the port text, read up to its first non-digit.
    Ethernet trailing("127.0.0.1:9100:7", Fast());
    trailing.Open();
    EXPECT_EQ(trailing.PrinterIP(), "127.0.0.1");
    EXPECT_EQ(trailing.PrinterPort(), "9100:7");
    EXPECT_EQ(trailing.PortNo(), 9100);
}

TEST(EthernetOpen, PathWithoutColonFailsWithoutASocket) {
    const int before = CountOpenDescriptors();
    Ethernet transport("127.0.0.1");
    EXPECT_FALSE(transport.Open());
    EXPECT_EQ(transport.GetLastError(), 112);
    EXPECT_EQ(transport.SocketFd(), -1);
    EXPECT_EQ(CountOpenDescriptors(), before);
    EXPECT_TRUE(LogContains("Ethernet:: Could not find Port Information\n"));
    EXPECT_FALSE(LogContains("Ethernet::szPrinterIP"));
}

TEST(EthernetOpen, RefusedConnectKeepsTheSocketsOwnError) {
    RefusedPort port;
    Ethernet transport(port.Path(), Fast());
    EXPECT_FALSE(transport.Open());
    EXPECT_FALSE(transport.GetConnected());
    EXPECT_EQ(transport.GetLastError(), ECONNREFUSED);
    EXPECT_TRUE(LogContains("Error in Socket Connect Error Code :: " + std::to_string(ECONNREFUSED) + "\n"));
    EXPECT_FALSE(LogContains("Socket Connected"));
}

TEST(EthernetOpen, UnresolvableHostFailsAndSaysWhy) {
    for (const char* path : {":9100", "no-such-host.invalid:9100"}) {
        Ethernet transport(path, Fast());
        EXPECT_FALSE(transport.Open());
        EXPECT_FALSE(transport.GetConnected());
        EXPECT_TRUE(LogContains("Error in  gethostbyname ::  "));
        EXPECT_EQ(transport.GetLastError(), EHOSTUNREACH) << path;
    }
}

TEST(EthernetOpen, UnansweredConnectTimesOut) {
    UnansweredPort port;
    ASSERT_TRUE(port.Ready()) << "could not fill the accept queue";
    Ethernet transport(port.Path(), Fast());
    EXPECT_FALSE(transport.Open());
    EXPECT_FALSE(transport.GetConnected());
    EXPECT_EQ(transport.GetLastError(), ETIMEDOUT);
    EXPECT_TRUE(
        LogContains("Error in Socket Connect Timeout Error Code :: " + std::to_string(ETIMEDOUT) + "\n"));
}

TEST(EthernetOpen, NoDescriptorLeaksOverRepeatedOpens) {
    FakeTcpPrinter printer;
    RefusedPort refused;
    const int before = CountOpenDescriptors();
    for (int i = 0; i < 10; ++i) {
        Ethernet good(printer.Path());
        ASSERT_TRUE(good.Open());
        ASSERT_TRUE(good.Open());  // a second Open replaces the socket
        good.Close();
        ASSERT_TRUE(good.Open());
        // the destructor closes the last one

        Ethernet bad(refused.Path(), Fast());
        ASSERT_FALSE(bad.Open());
        ASSERT_FALSE(bad.Open());
        Ethernet unresolvable(":1", Fast());
        ASSERT_FALSE(unresolvable.Open());
    }
    // Let the printer see the last connection end, so that it holds no socket either.
    ASSERT_TRUE(printer.WaitForConnections(30));
    ASSERT_TRUE(printer.WaitForClientClose());
    EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST(EthernetOpen, SecondOpenReplacesTheConnection) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path());
    ASSERT_TRUE(transport.Open());
    EXPECT_TRUE(transport.Open());
    EXPECT_TRUE(transport.GetConnected());
    // The printer serves one connection at a time: it gets to the second
    // only because the second Open closed the first.
    EXPECT_TRUE(printer.WaitForConnections(2));
    EXPECT_EQ(Write(transport, "on the new one"), 14);
    EXPECT_TRUE(printer.WaitForBytes(14));
}

TEST(EthernetWrite, SendsTheExactBytesInOrder) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path());
    ASSERT_TRUE(transport.Open());
    const std::string first("\x1b\x40", 2);
    const std::string second("\x00\x01\xff text \x00", 10);
    EXPECT_EQ(Write(transport, first), 2);
    EXPECT_EQ(transport.Write(second.data(), 0, 0), 0);
    EXPECT_EQ(Write(transport, second), 10);
    ASSERT_TRUE(printer.WaitForBytes(12));
    EXPECT_EQ(printer.Received(), first + second);
    EXPECT_TRUE(LogContains("Ethernet::Write 2 Bytes of socket data\n"));
    EXPECT_TRUE(LogContains("Ethernet Total Bytes Written 0\n"));
    EXPECT_TRUE(LogContains("Ethernet Total Bytes Written 10\n"));
}

TEST(EthernetWrite, WithoutASocketNothingIsSent) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path());
    EXPECT_EQ(Write(transport, "never"), 0);
    ASSERT_TRUE(transport.Open());
    transport.Close();
    EXPECT_EQ(Write(transport, "closed"), 0);
    EXPECT_EQ(LogCount("Ethernet Total Bytes Written 0\n"), 2u);
    EXPECT_FALSE(LogContains("Bytes of socket data"));
    EXPECT_TRUE(printer.WaitForClientClose());
    EXPECT_EQ(printer.ReceivedSize(), 0u);
}

TEST(EthernetWrite, LargeWriteToASlowReaderArrivesWhole) {
    FakeTcpPrinterOptions options;
    options.receiveBufferBytes = 16 * 1024;
    FakeTcpPrinter printer(options);
    printer.ReadSlowly(32 * 1024, milliseconds(1));
    Ethernet transport(printer.Path());
    ASSERT_TRUE(transport.Open());
    const std::string data = RandomBytes(4 * 1024 * 1024);
    EXPECT_EQ(Write(transport, data), static_cast<int>(data.size()));
    ASSERT_TRUE(printer.WaitForBytes(data.size(), milliseconds(30000)));
    EXPECT_TRUE(printer.Received() == data);
    // The printer took the data in pieces, so the transport wrote more than once.
    EXPECT_GT(LogCount("Bytes of socket data\n"), 1u);
}

TEST(EthernetWrite, ConcurrentWritesDoNotInterleave) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path());
    ASSERT_TRUE(transport.Open());
    const std::string a(1024 * 1024, 'A');
    const std::string b(1024 * 1024, 'B');
    int resultA = 0;
    int resultB = 0;
    std::thread writerA([&] { resultA = Write(transport, a); });
    std::thread writerB([&] { resultB = Write(transport, b); });
    writerA.join();
    writerB.join();
    EXPECT_EQ(resultA, static_cast<int>(a.size()));
    EXPECT_EQ(resultB, static_cast<int>(b.size()));
    ASSERT_TRUE(printer.WaitForBytes(a.size() + b.size()));
    const std::string received = printer.Received();
    EXPECT_TRUE(received == a + b || received == b + a);
}

TEST(EthernetWrite, ConnectionClosedByThePrinterFailsWithoutSignal) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path());
    ASSERT_TRUE(transport.Open());
    ASSERT_TRUE(printer.WaitForConnections(1));
    printer.CloseConnection();
    // Without protection the second send of this write raises SIGPIPE and
    // ends the test process.
    const std::string data = RandomBytes(4 * 1024 * 1024);
    EXPECT_EQ(Write(transport, data), -1);
    const int error = transport.GetLastError();
    EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
    EXPECT_TRUE(
        LogContains("ERROR Unable to write print to socket data Error Code :: " + std::to_string(error)));
    // Only Close clears the flag.
    EXPECT_TRUE(transport.GetConnected());
    EXPECT_EQ(Write(transport, "again"), -1);
}

TEST(EthernetWrite, ResetMidJobFails) {
    FakeTcpPrinter printer;
    printer.CloseAfter(64 * 1024);
    Ethernet transport(printer.Path());
    ASSERT_TRUE(transport.Open());
    const std::string data = RandomBytes(8 * 1024 * 1024);
    EXPECT_EQ(Write(transport, data), -1);
    EXPECT_EQ(printer.Received(), data.substr(0, 64 * 1024));

    // A reset connection fails the same way.
    ASSERT_TRUE(transport.Open());
    ASSERT_TRUE(printer.WaitForConnections(2));
    printer.ResetConnection();
    EXPECT_EQ(Write(transport, data), -1);
    const int error = transport.GetLastError();
    EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
}

TEST(EthernetWrite, StuckPrinterEndsTheWriteAfterTwelveTimeOuts) {
    FakeTcpPrinterOptions options;
    options.receiveBufferBytes = 4096;
    FakeTcpPrinter printer(options);
    printer.StopReading();
    Ethernet transport(printer.Path(), Fast());
    ASSERT_TRUE(transport.Open());
    const std::string data = RandomBytes(16 * 1024 * 1024);
    EXPECT_EQ(Write(transport, data), -1);
    EXPECT_EQ(LogCount("Ethernet Write Time out " + std::to_string(ETIMEDOUT) + "\n"),
              static_cast<size_t>(Ethernet::kMaxConsecutiveWriteTimeouts));
    EXPECT_EQ(transport.GetLastError(), ETIMEDOUT);
    EXPECT_TRUE(LogContains(
        "ERROR Unable to write print to socket data Error Code :: " + std::to_string(ETIMEDOUT) + "\n"));
}

TEST(EthernetWrite, TimeOutsCountOnlyWhileNothingGoesOut) {
    FakeTcpPrinterOptions options;
    options.receiveBufferBytes = 64 * 1024;
    FakeTcpPrinter printer(options);
    printer.StopReading();
    EthernetTimeouts timeouts = Fast();
    timeouts.send = milliseconds(250);  // 12 in a row (3 s) leave a loaded machine time to drain
    Ethernet transport(printer.Path(), timeouts);
    ASSERT_TRUE(transport.Open());
    const std::string data = RandomBytes(24 * 1024 * 1024);
    int result = 0;
    std::thread writer([&] { result = Write(transport, data); });

    // Three stalls of six time-outs each: more than the bound in all, but
    // never that many in a row, since the printer takes enough between the
    // stalls (more than the sender's buffers hold) for bytes to go out.
    const std::string timeOut = "Ethernet Write Time out";
    bool stalled = true;
    for (size_t stall = 1; stall <= 3 && stalled; ++stall) {
        stalled = WaitForLogCount(timeOut, stall * 6);
        printer.LetThrough(4 * 1024 * 1024);
    }
    printer.ResumeReading();
    writer.join();
    EXPECT_TRUE(stalled);
    EXPECT_EQ(result, static_cast<int>(data.size()));
    EXPECT_GE(LogCount(timeOut), 18u);
    ASSERT_TRUE(printer.WaitForBytes(data.size(), milliseconds(30000)));
    EXPECT_TRUE(printer.Received() == data);
}

TEST(EthernetRead, ReadsWhatThePrinterSends) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path(), Fast());
    char buffer[Ethernet::kReadSize] = {};
    EXPECT_EQ(transport.Read(buffer, 0), 0);  // no socket
    ASSERT_TRUE(transport.Open());
    ASSERT_TRUE(printer.Send("\x10\x02\x03"));
    EXPECT_EQ(transport.Read(buffer, 0), 3);
    EXPECT_EQ(std::string(buffer, 3), "\x10\x02\x03");
    EXPECT_TRUE(LogContains("Ethernet::Read Received 3 Bytes \n"));

    // At most 256 bytes per read.
    ASSERT_TRUE(printer.Send(std::string(300, 'x')));
    int total = 0;
    while (total < 300) {
        const int got = transport.Read(buffer, 0);
        ASSERT_GT(got, 0);
        ASSERT_LE(got, Ethernet::kReadSize);
        total += got;
    }
    EXPECT_EQ(total, 300);
}

TEST(EthernetRead, SilenceTimesOutAndAClosedConnectionReadsNothing) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path(), Fast());
    ASSERT_TRUE(transport.Open());
    char buffer[Ethernet::kReadSize];
    EXPECT_EQ(transport.Read(buffer, 0), -1);
    EXPECT_EQ(transport.GetLastError(), ETIMEDOUT);
    EXPECT_TRUE(LogContains("Ethernet::Select Timeout Error Code is " + std::to_string(ETIMEDOUT) + "\n"));

    ASSERT_TRUE(printer.WaitForConnections(1));
    printer.CloseConnection();
    EXPECT_EQ(transport.Read(buffer, 0), 0);
    EXPECT_TRUE(LogContains("Ethernet::Read Received 0 Bytes \n"));
}

std::vector<int> g_codes;
int RecordCode(int code) {
    g_codes.push_back(code);
    return 1;
}

TEST(EthernetStatus, BlocksFromThePrinterReachTheCallback) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path(), Fast());
    ASSERT_TRUE(transport.Open());
    transport.SetPrinterStatusNotifyCallBack(RecordCode);
    EXPECT_FALSE(LogContains("SetPrinterStatusNotifyCallBack"));

    ASSERT_TRUE(printer.SendStatus({0x30, 0, 0, 0}));
    EXPECT_EQ(transport.GetPrinterStatus(), 7);
    ASSERT_TRUE(printer.SendStatus({0x10, 0, 0, 0}));
    EXPECT_EQ(transport.GetPrinterStatus(), 9);  // the transport remembered the open cover
    // Nothing arrives: three reads, then 0 for the callback.
    EXPECT_EQ(transport.GetPrinterStatus(), 0);
    EXPECT_EQ(LogCount("Ethernet::Select Timeout Error Code is"), 3u);
    EXPECT_EQ(g_codes, (std::vector<int>{7, 9, 0}));

    transport.SetPrinterStatusNotifyCallBack(nullptr);
    ASSERT_TRUE(printer.SendStatus({0x30, 0, 0, 0}));
    EXPECT_EQ(transport.GetPrinterStatus(), 7);
    EXPECT_EQ(g_codes.size(), 3u);
}

TEST(EthernetStatus, PollsWhileAnotherThreadWrites) {
    FakeTcpPrinter printer;
    Ethernet transport(printer.Path(), Fast());
    ASSERT_TRUE(transport.Open());
    const std::string data = RandomBytes(2 * 1024 * 1024);
    int written = 0;
    std::thread writer([&] { written = Write(transport, data); });
    ASSERT_TRUE(printer.SendStatus({0x34, 0, 0, 0}));
    EXPECT_EQ(transport.GetPrinterStatus(), 7);
    writer.join();
    EXPECT_EQ(written, static_cast<int>(data.size()));
    ASSERT_TRUE(printer.WaitForBytes(data.size()));
    EXPECT_TRUE(printer.Received() == data);
}

}  // namespace
