#include <gtest/gtest.h>

#include <future>

#include "fixtures/fake_tcp_printer.h"
#include "fixtures/recording_communication.h"
#include "kesto/kesto.h"
#include "support/test_support.h"
#include "transport/ethernet_transport.h"
#include "transport/printer_link.h"

namespace {

using Bytes = std::vector<uint8_t>;
enum : int {
    kOffline = KESTO_STATE_OFFLINE,
    kCover = KESTO_STATE_COVER_OPEN,
    kEnd = KESTO_STATE_PAPER_END,
    kNear = KESTO_STATE_PAPER_NEAR_END,
    kFeed = KESTO_STATE_FEED_BUTTON,
    kPin = KESTO_STATE_DRAWER_PIN_HIGH,
    kWaiting = KESTO_STATE_WAITING_RECOVERY,
    kCutter = KESTO_STATE_CUTTER_ERROR,
    kFatal = KESTO_STATE_UNRECOVERABLE_ERROR,
    kAuto = KESTO_STATE_AUTO_RECOVERABLE_ERROR
};

// Automatic status block: byte 1 0x04 drawer pin 3 high, 0x08 off-line, 0x20 cover open, 0x40
// feed button; byte 2 0x01 waiting for on-line recovery, 0x04 mechanical error (no bit of its own),
// 0x08 auto-cutter error, 0x20 unrecoverable, 0x40 automatically recoverable; byte 3 0x03 near-end
// sensor, 0x0C end sensor (both bits each). Fixed: 0x10 set and 0x83 clear in byte 1, 0x90 clear in 2 to 4.
TEST(PrinterReplies, EveryStateBitFromTheStatusBlock) {
    const std::pair<Bytes, int> rows[] = {
        {{0x10, 0, 0, 0}, 0},
        {{0x14, 0, 0, 0}, kPin},
        {{0x18, 0, 0, 0}, kOffline},
        {{0x30, 0, 0, 0}, kCover},
        {{0x50, 0, 0, 0}, kFeed},
        {{0x10, 0x01, 0, 0}, kWaiting},
        {{0x10, 0x04, 0, 0}, 0},
        {{0x10, 0x08, 0, 0}, kCutter},
        {{0x10, 0x20, 0, 0}, kFatal},
        {{0x10, 0x40, 0, 0}, kAuto},
        {{0x10, 0, 0x03, 0}, kNear},
        {{0x10, 0, 0x0C, 0}, kEnd},
        {{0x10, 0, 0x05, 0}, 0},  // one bit of each sensor pair is neither
        {{0x3C, 0x01, 0x0F, 0}, kPin | kOffline | kCover | kWaiting | kNear | kEnd},
        {{0x7C, 0x69, 0x0F, 0x0F}, 0x3FF},
        {{0x11, 0, 0, 0}, -1},
        {{0x90, 0, 0, 0}, -1},
        {{0x10, 0x10, 0, 0}, -1},
        {{0x10, 0, 0, 0x80}, -1},
    };
    for (const auto& [block, state] : rows)
        EXPECT_EQ(kesto::StateFromStatusBlock(block.data()), state)
            << kesto::test::Hex({block.begin(), block.end()});
}

// Real-time status, one byte per DLE EOT n, 0x12 fixed in each. n=1: 0x04 pin high, 0x08 off-line,
// 0x20 waiting for recovery, 0x40 feed button. n=2: 0x04 cover open, 0x08 feeding by the button,
// 0x20 stopped at paper end. n=3: 0x08 auto-cutter, 0x20 unrecoverable, 0x40 auto-recoverable.
// n=4: 0x0C near-end sensor, 0x60 end sensor.
TEST(PrinterReplies, EveryStateBitFromTheRealTimeReplies) {
    const std::pair<Bytes, int> rows[] = {
        {{0x12, 0x12, 0x12, 0x12}, 0},        {{0x16, 0x12, 0x12, 0x12}, kPin},
        {{0x1A, 0x12, 0x12, 0x12}, kOffline}, {{0x32, 0x12, 0x12, 0x12}, kWaiting},
        {{0x52, 0x12, 0x12, 0x12}, kFeed},    {{0x12, 0x16, 0x12, 0x12}, kCover},
        {{0x12, 0x1A, 0x12, 0x12}, kFeed},    {{0x12, 0x32, 0x12, 0x12}, kEnd},
        {{0x12, 0x12, 0x1A, 0x12}, kCutter},  {{0x12, 0x12, 0x32, 0x12}, kFatal},
        {{0x12, 0x12, 0x52, 0x12}, kAuto},    {{0x12, 0x12, 0x12, 0x1E}, kNear},
        {{0x12, 0x12, 0x12, 0x72}, kEnd},     {{0x1A, 0x36, 0x12, 0x7E}, kOffline | kCover | kEnd | kNear},
        {{0x12, 0x12, 0x12, 0x10}, -1},
    };
    for (const auto& [replies, state] : rows)
        EXPECT_EQ(kesto::StateFromRealTime(replies.data()), state)
            << kesto::test::Hex({replies.begin(), replies.end()});
}

TEST(PrinterReplies, AMixedStreamSortsTheSameInPiecesOfAnySize) {
    using kesto::ReplyKind;
    const std::string stream = kesto::test::H(
        "14 00 00 00  16  37 22 30 30 34 32 00  0C  37 20 41 42 00  30 00 0C 00  10 90  80  37 22 39 39 39 "
        "39 00");
    const std::vector<std::pair<ReplyKind, int>> expected = {
        {ReplyKind::kStatusBlock, 0x14},    {ReplyKind::kRealTime, 0x16}, {ReplyKind::kProcessId, 42},
        {ReplyKind::kTransmitStatus, 0x0C}, {ReplyKind::kOther, 0x37},    {ReplyKind::kStatusBlock, 0x30},
        {ReplyKind::kOther, 0x10},          {ReplyKind::kOther, 0x90},    {ReplyKind::kOther, 0x80},
        {ReplyKind::kProcessId, 9999}};
    for (size_t piece : {stream.size(), size_t(1), size_t(3), size_t(5)}) {
        kesto::ReplySorter sorter;
        std::vector<std::pair<ReplyKind, int>> sorted;
        for (size_t at = 0; at < stream.size(); at += piece)
            for (const kesto::Reply& reply :
                 sorter.Feed(stream.data() + at, std::min(piece, stream.size() - at)))
                sorted.emplace_back(reply.kind,
                                    reply.kind == ReplyKind::kProcessId ? reply.id : reply.bytes[0]);
        EXPECT_EQ(sorted, expected) << "pieces of " << piece;
    }
    EXPECT_EQ(kesto::test::Hex(kesto::ProcessIdRequest(10042)), "1D 28 48 06 00 30 30 30 30 34 32");
    EXPECT_EQ(kesto::test::Hex(kesto::RealTimeStatusRequests()), "10 04 01 10 04 02 10 04 03 10 04 04");
}

using namespace std::chrono_literals;
const EthernetTimeouts kShortReads{5s, 5s, 200ms};

// The original poll and the reader on one connection: blocks, real-time answers and
// confirmations interleaved, several waiters at once, each gets its own.
TEST(PrinterLink, ConfirmationsRealTimeAnswersAndStatusBlocksShareOneConnection) {
    kesto::test::FakeTcpPrinter printer;
    printer.Answer({0x1A, 0x16, 0x12, 0x72});
    Ethernet transport(printer.Path(), kShortReads);
    ASSERT_TRUE(transport.Open());
    kesto::PrinterLink& link = *transport.Link();
    EXPECT_EQ(link.LatestState(false), -1);
    EXPECT_EQ(link.QueryState(20000), kOffline | kCover | kEnd);

    std::vector<std::future<int>> waiters;
    for (int i = 0; i < 8; ++i)
        waiters.push_back(std::async(std::launch::async, [&] { return link.WaitPrinted(20000) ? 1 : 0; }));
    int codes = 0;
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(printer.SendStatus(i % 2 ? Bytes{0x30, 0, 0, 0} : Bytes{0x10, 0, 0, 0}));
        codes +=
            transport.GetPrinterStatus() == (i % 2 ? KESTO_STATUS_COVER_OPEN : KESTO_STATUS_COVER_CLOSED);
    }
    for (auto& waiter : waiters) EXPECT_EQ(waiter.get(), 1);
    EXPECT_EQ(codes, 39);  // the first block closes a cover never opened: pin low instead
    EXPECT_EQ(link.LatestState(true), kCover);
    EXPECT_EQ(link.QueryState(20000), kOffline | kCover | kEnd);

    printer.Answer({}, false);  // silent from now on
    EXPECT_FALSE(link.WaitPrinted(300));
    EXPECT_EQ(link.QueryState(300), -1);
    EXPECT_EQ(transport.GetLastError(), ETIMEDOUT);
    EXPECT_EQ(transport.Close(), 1);
    EXPECT_FALSE(link.WaitPrinted(0));
}

}  // namespace
