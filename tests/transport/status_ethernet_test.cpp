#include <gtest/gtest.h>

#include "fixtures/fake_tcp_printer.h"
#include "platform/process_state.h"
#include "support/test_support.h"
#include "transport/ethernet_transport.h"

namespace {

using Block = std::vector<char>;

std::vector<int> g_reported;
int (*const Record)(int) = [](int code) { return g_reported.push_back(code), 0; };

// Byte 1: 0x10 always set, 0x04 drawer pin 3 high, 0x20 cover open; byte 3: 0x03 paper
// near end, 0x0C paper end; 0x83 of byte 1, 0x90 of byte 2, 0xF0 of byte 3 always clear.
// The blocks are decoded in turn, each with the last code before it, as a transport does.
TEST(StatusDecoder, CodesFollowTheBitsOfTheLastCompleteBlock) {
    const std::pair<Block, int> rows[] = {
        {{0x10, 0, 0, 0}, 3},      // the first block: pin 3 low is news
        {{0x10, 0, 0, 0}, 0},      // nothing changed
        {{0x14, 0, 0, 0}, 6},      // pin 3 high
        {{0x34, 0, 0, 0}, 7},      // cover open
        {{0x14, 0, 0, 0}, 9},      // cover closed again
        {{0x14, 0, 0x03, 0}, 24},  // paper near end
        {{0x14, 0, 0, 0}, 23},     // near end cleared
        {{0x14, 0, 0x0F, 0}, 19},  // empty roll, both sensors: paper end outranks
        {{0x14, 0, 0, 0}, 32},     // paper end cleared
        {{0x14, 0, 0x04, 0}, 0},   // one of the two paper-end bits is no paper end
        // below: a bit that is always clear is set, so no status block
        {{0x15, 0, 0, 0}, 0},
        {{char(0x94), 0, 0, 0}, 0},
        {{0x14, 0x10, 0, 0}, 0},
        {{0x14, 0, 0x10, 0}, 0},
        {{0x34, 0, 0, 0, 0x10, 0, 0, 0}, 3},  // of two blocks the last counts
        {{0x14, 0, 0, 0, 0x30}, 6},           // a fifth byte is no block
    };
    std::atomic<int> pin{0};
    int last = 0;
    for (auto [block, expected] : rows) {
        const int code = kesto::DecodeStatusBlock(block.data(), static_cast<int>(block.size()), last, pin);
        EXPECT_EQ(code, expected) << "block " << int(block[0]) << " of " << block.size() << " bytes";
        if (code != 0) last = code;
    }
    // Fewer than four bytes hold no block, and nothing behind them is read (exact heap sizes).
    for (int count = 1; count <= 3; ++count) {
        std::unique_ptr<char[]> bytes(new char[count]());
        EXPECT_EQ(kesto::DecodeStatusBlock(bytes.get(), count, 0, pin), 0);
    }
}

// One poll: up to three reads until one returns data, then decode and report, 0 included.
TEST(StatusPoll, ThreeAttemptsStopEventPoliciesAndTheStopFlag) {
    kesto::StatusReport report;
    report.callback = Record;
    std::atomic<int> pin{0};
    std::atomic<bool> stop{false};
    std::vector<Block> replies;  // in turn; an empty reply reads nothing
    size_t reads = 0;
    auto poll = [&](kesto::StopEventPolicy policy) {
        return kesto::PollPrinterStatus(
            policy, &stop,
            [&](char* buffer) {
                const Block reply = reads < replies.size() ? replies[reads] : Block{};
                ++reads;
                std::copy(reply.begin(), reply.end(), buffer);
                return reply.empty() ? -1 : static_cast<int>(reply.size());
            },
            [&](char* buffer, int count) {
                return kesto::DecodeStatusBlock(buffer, count, report.lastStatusCode, pin);
            },
            report);
    };
    const kesto::StatusPoll silent = poll(kesto::StopEventPolicy::kLogAndRead);
    EXPECT_TRUE(silent.code == 0 && silent.readNothing && reads == 3);
    replies = {{}, {}, {}, {}, {0x30, 0, 0, 0}, {0x10, 0, 0, 0}};
    EXPECT_EQ(poll(kesto::StopEventPolicy::kLogAndRead).code, 7);
    EXPECT_EQ(reads, 5u);
    InitEvent(&_terminateReader);
    TriggerEvent(&_terminateReader);
    EXPECT_EQ(poll(kesto::StopEventPolicy::kEndPoll).code, 0);  // USB: a posted stop event ends the poll
    TriggerEvent(&_terminateReader);
    EXPECT_EQ(poll(kesto::StopEventPolicy::kLogAndRead).code, 9);  // Ethernet reads all the same
    EXPECT_EQ(reads, 6u);
    DestroyEvent(&_terminateReader);
    // A read that found the stop flag set ends the poll: no decoding, no report.
    stop = true;
    EXPECT_TRUE(poll(kesto::StopEventPolicy::kLogAndRead).code == 0 && reads == 7);
    EXPECT_EQ(g_reported, (std::vector<int>{0, 7, 9}));
}

using namespace std::chrono_literals;
// Connect, each wait to send, receive: short reads everywhere, short waits only where they run out.
const EthernetTimeouts kShortReads{5s, 5s, 200ms}, kShort{500ms, 20ms, 200ms};

TEST(Ethernet, WritesWholeAndReadsStatusOverTheSocket) {
    kesto::test::FakeTcpPrinter printer;
    ::close(0);  // a service may run without standard input: its socket can be descriptor 0
    Ethernet transport(printer.Path(), kShortReads);
    ASSERT_TRUE(transport.Open());
    EXPECT_EQ(transport.SocketFd(), 0);
    // A command with a NUL byte, and a job of more than a socket takes at once.
    const std::string command("\x1b\x40\0text\xff", 8), job(4 << 20, 'j');
    EXPECT_EQ(transport.Write(command.data(), 8, 0), 8);
    EXPECT_EQ(transport.Write(job.data(), static_cast<int>(job.size()), 0), static_cast<int>(job.size()));
    ASSERT_TRUE(printer.WaitForBytes(8 + job.size()));
    EXPECT_TRUE(printer.Received() == command + job);

    transport.SetPrinterStatusNotifyCallBack(Record);
    ASSERT_TRUE(printer.SendStatus({0x30, 0, 0, 0}));
    EXPECT_EQ(transport.GetPrinterStatus(), 7);
    EXPECT_EQ(transport.GetPrinterStatus(), 0);  // silence: three reads time out
    EXPECT_EQ(transport.GetLastError(), ETIMEDOUT);
    EXPECT_EQ(g_reported, (std::vector<int>{7, 0}));
    EXPECT_EQ(transport.Close(), 1);
    EXPECT_EQ(transport.Write("x", 1, 0), 0);
}

const std::string kJob(16 << 20, 'j');  // more than the buffers on both sides hold

TEST(Ethernet, RefusedUnknownAndClosedPrintersFailWithTheirReason) {
    kesto::test::RefusedPort refused;
    Ethernet refusing(refused.Path(), kShort);
    EXPECT_FALSE(refusing.Open());
    EXPECT_EQ(refusing.GetLastError(), ECONNREFUSED);
    Ethernet unknown(":9100", kShort);  // no name server needed to find no host
    EXPECT_FALSE(unknown.Open());
    EXPECT_EQ(unknown.GetLastError(), EHOSTUNREACH);

    kesto::test::FakeTcpPrinter printer;
    Ethernet closed(printer.Path(), kShortReads);
    ASSERT_TRUE(closed.Open());
    printer.CloseConnection();
    EXPECT_EQ(closed.Write(kJob.data(), static_cast<int>(kJob.size()), 0), -1);  // and no SIGPIPE
    EXPECT_TRUE(closed.GetLastError() == EPIPE || closed.GetLastError() == ECONNRESET)
        << closed.GetLastError();
}

// A listener with a small receive buffer that never accepts and queues one connection.
TEST(Ethernet, APrinterThatNeverAcceptsTimesOutConnectsAndWrites) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), small = 4096;
    ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size) | ::listen(listener, 0), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string path = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    Ethernet queued(path, kShort);
    ASSERT_TRUE(queued.Open());
    Ethernet unanswered(path, kShort);  // the queue is full: the kernel drops the SYN
    EXPECT_FALSE(unanswered.Open());
    EXPECT_EQ(unanswered.GetLastError(), ETIMEDOUT);

    kesto::test::ClearLog();
    EXPECT_EQ(queued.Write(kJob.data(), static_cast<int>(kJob.size()), 0), -1);
    EXPECT_EQ(queued.GetLastError(), ETIMEDOUT);
    EXPECT_EQ(kesto::test::LogCount("Ethernet Write Time out"),
              12u);  // 12 waits of the send time-out in a row
    ::close(listener);
}

}  // namespace
