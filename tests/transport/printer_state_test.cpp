#include <gtest/gtest.h>

#include <future>

#include "fixtures/fake_tcp_printer.h"
#include "fixtures/recording_communication.h"
#include "transport/ethernet_transport.h"

namespace {

using kesto::test::H;
constexpr int kOff = KESTO_STATE_OFFLINE, kCover = KESTO_STATE_COVER_OPEN, kEnd = KESTO_STATE_PAPER_END,
              kNear = KESTO_STATE_PAPER_NEAR_END, kFeed = KESTO_STATE_FEED_BUTTON,
              kPin = KESTO_STATE_DRAWER_PIN_HIGH, kWait = KESTO_STATE_WAITING_RECOVERY,
              kCut = KESTO_STATE_CUTTER_ERROR, kFatal = KESTO_STATE_UNRECOVERABLE_ERROR,
              kAuto = KESTO_STATE_AUTO_RECOVERABLE_ERROR;

// Status block: byte 1 0x04 drawer pin 3 high, 0x08 off-line, 0x20 cover open, 0x40 feed button;
// byte 2 0x01 waiting for on-line recovery, 0x04 mechanical error (no bit of its own), 0x08
// auto-cutter, 0x20 unrecoverable, 0x40 automatically recoverable; byte 3 0x03 near-end sensor,
// 0x0C end sensor (both bits each); fixed 0x10 set, 0x83 clear in byte 1, 0x90 clear in 2 to 4.
// Real-time, 0x12 fixed in each: DLE EOT 1 0x04 pin high, 0x08 off-line, 0x20 waiting, 0x40 feed
// button; 2 0x04 cover, 0x08 feeding, 0x20 stopped at paper end; 3 0x08 cutter, 0x20
// unrecoverable, 0x40 auto-recoverable; 4 0x0C near-end sensor, 0x60 end sensor.
TEST(PrinterReplies, EveryStateBitFromItsWireForm) {
    const std::pair<const char*, int> blocks[] = {
        {"10 00 00 00", 0},      {"14 00 00 00", kPin},  {"18 00 00 00", kOff},  {"30 00 00 00", kCover},
        {"50 00 00 00", kFeed},  {"10 01 00 00", kWait}, {"10 04 00 00", 0},     {"10 08 00 00", kCut},
        {"10 20 00 00", kFatal}, {"10 40 00 00", kAuto}, {"10 00 03 00", kNear}, {"10 00 0C 00", kEnd},
        {"10 00 05 00", 0},      {"7C 69 0F 0F", 0x3FF}, {"11 00 00 00", -1},    {"90 00 00 00", -1},
        {"10 10 00 00", -1},     {"10 00 00 80", -1}};
    for (const auto& [wire, state] : blocks)
        EXPECT_EQ(kesto::StateFromStatusBlock(reinterpret_cast<const uint8_t*>(H(wire).data())), state)
            << wire;
    const std::pair<const char*, int> replies[] = {
        {"12 12 12 12", 0},     {"16 12 12 12", kPin},
        {"1A 12 12 12", kOff},  {"32 12 12 12", kWait},
        {"52 12 12 12", kFeed}, {"12 16 12 12", kCover},
        {"12 1A 12 12", kFeed}, {"12 32 12 12", kEnd},
        {"12 12 1A 12", kCut},  {"12 12 32 12", kFatal},
        {"12 12 52 12", kAuto}, {"12 12 12 1E", kNear},
        {"12 12 12 72", kEnd},  {"1A 36 12 7E", kOff | kCover | kEnd | kNear},
        {"12 12 12 10", -1}};
    for (const auto& [wire, state] : replies)
        EXPECT_EQ(kesto::StateFromRealTime(reinterpret_cast<const uint8_t*>(H(wire).data())), state) << wire;
}

TEST(PrinterReplies, AMixedStreamSortsTheSameInPiecesOfAnySize) {
    using kesto::ReplyKind;
    const std::string stream =
        H("14 00 00 00 16 37 22 30 30 34 32 00 0C 37 20 41 42 00 30 00 0C 00 10 90 80 37 22 39 39 39 39 00");
    const std::vector<std::pair<ReplyKind, int>> expected = {
        {ReplyKind::kStatusBlock, 0x14},    {ReplyKind::kRealTime, 0x16}, {ReplyKind::kProcessId, 42},
        {ReplyKind::kTransmitStatus, 0x0C}, {ReplyKind::kOther, 0x37},    {ReplyKind::kStatusBlock, 0x30},
        {ReplyKind::kOther, 0x10},          {ReplyKind::kOther, 0x90},    {ReplyKind::kOther, 0x80},
        {ReplyKind::kProcessId, 9999}};
    for (size_t piece : {stream.size(), size_t(1), size_t(3), size_t(5)}) {
        kesto::ReplySorter sorter;
        std::vector<std::pair<ReplyKind, int>> sorted;
        for (size_t at = 0; at < stream.size(); at += piece)
            for (const kesto::Reply& r : sorter.Feed(stream.data() + at, std::min(piece, stream.size() - at)))
                sorted.emplace_back(r.kind, r.kind == ReplyKind::kProcessId ? r.id : r.bytes[0]);
        EXPECT_EQ(sorted, expected) << "pieces of " << piece;
    }
    EXPECT_EQ(kesto::ProcessIdRequest(10042), H("1D 28 48 06 00 30 30 30 30 34 32"));
}

// The original poll and the reader on one connection: blocks, real-time answers and
// confirmations interleaved, eight waiters at once, each answered by its own id.
TEST(PrinterLink, ConfirmationsRealTimeAnswersAndStatusBlocksShareOneConnection) {
    kesto::test::FakeTcpPrinter printer;
    printer.Answer({0x1A, 0x16, 0x12, 0x72});
    using namespace std::chrono_literals;
    Ethernet transport(printer.Path(), EthernetTimeouts{5s, 5s, 200ms});
    ASSERT_TRUE(transport.Open());
    kesto::PrinterLink& link = *transport.Link();
    EXPECT_EQ(link.LatestState(false), -1);
    EXPECT_EQ(link.QueryState(20000), kOff | kCover | kEnd);
    std::vector<std::future<bool>> waiters;
    for (int i = 0; i < 8; ++i)
        waiters.push_back(std::async(std::launch::async, [&] { return link.WaitPrinted(20000); }));
    int codes = 0;
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(printer.SendStatus(i % 2 ? std::vector<unsigned char>{0x30, 0, 0, 0}
                                             : std::vector<unsigned char>{0x10, 0, 0, 0}));
        codes +=
            transport.GetPrinterStatus() == (i % 2 ? KESTO_STATUS_COVER_OPEN : KESTO_STATUS_COVER_CLOSED);
    }
    for (auto& waiter : waiters) EXPECT_TRUE(waiter.get());
    EXPECT_EQ(codes, 39);  // the first block closes a cover never opened: pin low instead
    EXPECT_EQ(link.LatestState(true), kCover);
    EXPECT_EQ(link.QueryState(20000), kOff | kCover | kEnd);
    printer.Answer({}, false);  // silent from now on
    EXPECT_FALSE(link.WaitPrinted(300));
    EXPECT_EQ(link.QueryState(300), -1);
    EXPECT_EQ(transport.GetLastError(), ETIMEDOUT);
}

}  // namespace
