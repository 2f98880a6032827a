#include "transport/status_decoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "kesto/kesto.h"
#include "platform/events.h"
#include "support/log_reader.h"
#include "transport/ethernet_transport.h"
#include "transport/status_poll.h"

namespace {

using Block = std::vector<unsigned char>;
using kesto::test::LogContains;
using kesto::test::LogCount;

// Decodes blocks one after the other the way a transport does: a non-zero
// code becomes the last status code of the next decode.
struct Decoder {
    std::atomic<int> pinState{0};
    int lastStatusCode = 0;

    int Feed(const Block& bytes) {
        std::vector<char> buffer(bytes.begin(), bytes.end());
        const int code = kesto::DecodeStatusBlock(buffer.data(), static_cast<int>(buffer.size()),
                                                  lastStatusCode, pinState);
        if (code != 0) lastStatusCode = code;
        return code;
    }
};

std::vector<int> FeedAll(Decoder& decoder, const std::vector<Block>& blocks) {
    std::vector<int> codes;
    for (const Block& block : blocks) codes.push_back(decoder.Feed(block));
    return codes;
}

TEST(StatusDecoder, DrawerPinReportsOnlyChanges) {
    Decoder low;
    EXPECT_EQ(
        FeedAll(low, {{0x10, 0, 0, 0}, {0x10, 0, 0, 0}, {0x14, 0, 0, 0}, {0x14, 0, 0, 0}, {0x10, 0, 0, 0}}),
        (std::vector<int>{3, 0, 6, 0, 3}));
    Decoder high;
    EXPECT_EQ(high.Feed({0x14, 0, 0, 0}), 6);
    EXPECT_EQ(high.pinState.load(), 6);
}

TEST(StatusDecoder, CoverAndPaperConditionsAndTheirClearing) {
    Decoder cover;
    // Cover open outranks the first pin report; closing reports 9 once.
    EXPECT_EQ(FeedAll(cover, {{0x30, 0, 0, 0}, {0x10, 0, 0, 0}, {0x10, 0, 0, 0}}),
              (std::vector<int>{7, 9, 0}));

    Decoder paper;
    EXPECT_EQ(FeedAll(paper, {{0x10, 0, 0x0C, 0}, {0x10, 0, 0, 0}, {0x10, 0, 0, 0}}),
              (std::vector<int>{19, 32, 0}));

    Decoder nearEnd;
    EXPECT_EQ(FeedAll(nearEnd, {{0x10, 0, 0x03, 0}, {0x10, 0, 0, 0}}), (std::vector<int>{24, 23}));

    // An empty roll sets both sensors: paper end wins, and its clearing is 32;
    // a new roll near its own end is reported after the clearing.
    Decoder both;
    EXPECT_EQ(FeedAll(both, {{0x10, 0, 0x0F, 0}, {0x10, 0, 0, 0}, {0x10, 0, 0, 0}}),
              (std::vector<int>{19, 32, 0}));
    Decoder refill;
    EXPECT_EQ(FeedAll(refill, {{0x10, 0, 0x0F, 0}, {0x10, 0, 0x03, 0}, {0x10, 0, 0x03, 0}}),
              (std::vector<int>{19, 32, 24}));

    // Only both bits of a pair count.
    Decoder halfBits;
    EXPECT_EQ(FeedAll(halfBits, {{0x10, 0, 0x04, 0}, {0x10, 0, 0x01, 0}}), (std::vector<int>{3, 0}));
}

TEST(StatusDecoder, BitsThatAreNotExaminedDoNotMatter) {
    Decoder decoder;
    // Byte 1 bits 3 and 6, byte 2 bits other than 4 and 7, all of byte 4.
    EXPECT_EQ(decoder.Feed({0x58, 0x6F, 0, 0xFF}), 3);
    EXPECT_TRUE(LogContains("3Pin Low\n"));
}

TEST(StatusDecoder, WrongFixedBitsGiveNothingAndKeepThePinState) {
    const std::vector<Block> invalid = {
        {0x11, 0, 0, 0},    {0x12, 0, 0, 0},    {0x90, 0, 0, 0},    {0x04, 0, 0, 0},
        {0x10, 0x10, 0, 0}, {0x10, 0x80, 0, 0}, {0x10, 0, 0x10, 0}, {0x10, 0, 0x80, 0},
    };
    Decoder decoder;
    ASSERT_EQ(decoder.Feed({0x14, 0, 0, 0}), 6);
    kesto::test::ClearLog();
    for (const Block& block : invalid) {
        SCOPED_TRACE(static_cast<int>(block[0]));
        EXPECT_EQ(decoder.Feed(block), 0);
    }
    EXPECT_EQ(LogCount("First  Byte"), invalid.size());
    EXPECT_FALSE(LogContains("3Pin"));
    EXPECT_EQ(decoder.pinState.load(), 6);
    EXPECT_EQ(decoder.Feed({0x10, 0, 0, 0}), 3);
}

TEST(StatusDecoder, LogsTheFourBytesAsSignedNumbers) {
    Decoder decoder;
    decoder.Feed({0x93, 0x90, 0xF0, 0x80});
    const std::vector<std::string> log = kesto::test::LogMessages();
    EXPECT_EQ(log, (std::vector<std::string>{"First  Byte -109", "Second Byte -112", "Third  Byte -16",
                                             "Fourth Byte -128"}));
}

TEST(StatusDecoder, DecodesTheLastCompleteBlockAndMovesItToTheFront) {
    Decoder eight;
    std::vector<char> buffer = {0x30, 0, 0, 0, 0x14, 1, 2, 3};
    EXPECT_EQ(kesto::DecodeStatusBlock(buffer.data(), 8, 0, eight.pinState), 6);
    EXPECT_EQ(std::vector<char>(buffer.begin(), buffer.begin() + 4), (std::vector<char>{0x14, 1, 2, 3}));

    // Of five bytes the first block counts; the odd byte is ignored.
    Decoder five;
    EXPECT_EQ(five.Feed({0x10, 0, 0, 0, 0x30}), 3);
}

TEST(StatusDecoder, IncompleteOrMissingDataGivesNothing) {
    Decoder decoder;
    for (int count = 1; count <= 3; ++count) {
        // Exactly count bytes on the heap, so reading past them trips the sanitizer.
        std::unique_ptr<char[]> bytes(new char[count]);
        for (int i = 0; i < count; ++i) bytes[i] = 0x10;
        EXPECT_EQ(kesto::DecodeStatusBlock(bytes.get(), count, 0, decoder.pinState), 0);
    }
    EXPECT_EQ(decoder.pinState.load(), 0);
    EXPECT_FALSE(LogContains("Byte"));

    char buffer[4] = {0x10, 0, 0, 0};
    EXPECT_EQ(kesto::DecodeStatusBlock(nullptr, 4, 0, decoder.pinState), 0);
    EXPECT_EQ(kesto::DecodeStatusBlock(buffer, 0, 0, decoder.pinState), 0);
    EXPECT_EQ(kesto::DecodeStatusBlock(buffer, -4, 0, decoder.pinState), 0);
    EXPECT_EQ(LogCount("GetStatusCode: Get Value Return Error\n"), 3u);
    EXPECT_EQ(decoder.pinState.load(), 0);
}

// ---- the shared poll ----

std::vector<int> g_reported;
int RecordStatus(int code) {
    g_reported.push_back(code);
    return 0;
}

struct ScriptedReads {
    std::vector<Block> replies;  // an empty reply reads nothing
    int calls = 0;

    int operator()(char* buffer) {
        const Block reply = calls < static_cast<int>(replies.size()) ? replies[calls] : Block{};
        ++calls;
        std::copy(reply.begin(), reply.end(), buffer);
        return reply.empty() ? -1 : static_cast<int>(reply.size());
    }
};

class StatusPoll : public ::testing::Test {
protected:
    void SetUp() override {
        g_reported.clear();
        report.callback = RecordStatus;
    }

    int Poll(ScriptedReads& reads, kesto::StopEventPolicy policy = kesto::StopEventPolicy::kLogAndRead) {
        return kesto::PollPrinterStatus(
            policy, nullptr, [&](char* buffer) { return reads(buffer); },
            [&](char* buffer, int count) {
                return kesto::DecodeStatusBlock(buffer, count, report.lastStatusCode.load(), pinState);
            },
            report).code;
    }

    std::atomic<int> pinState{0};
    kesto::StatusReport report;
};

TEST_F(StatusPoll, ReportsEveryCodeIncludingNothingAndRemembersTheLastRealOne) {
    ScriptedReads reads{{{0x30, 0, 0, 0}, {0x30, 0, 0, 0}, {0x10, 0, 0, 0}, {0x10, 0, 0, 0}}};
    std::vector<int> results;
    for (int i = 0; i < 4; ++i) results.push_back(Poll(reads));
    // Cover open twice: the second block still reports 7, since the cover bit wins.
    EXPECT_EQ(results, (std::vector<int>{7, 7, 9, 0}));
    EXPECT_EQ(g_reported, results);
    EXPECT_EQ(report.lastStatusCode.load(), 9);
    EXPECT_EQ(reads.calls, 4);
}

TEST_F(StatusPoll, ThreeEmptyReadsReportNothingAndKeepTheLastCode) {
    report.lastStatusCode = 19;
    ScriptedReads reads;
    EXPECT_EQ(Poll(reads), 0);
    EXPECT_EQ(reads.calls, 3);
    EXPECT_EQ(g_reported, (std::vector<int>{0}));
    EXPECT_EQ(report.lastStatusCode.load(), 19);
    EXPECT_TRUE(LogContains("GetStatusCode: Get Value Return Error\n"));
}

TEST_F(StatusPoll, StopsReadingOnceDataArrives) {
    ScriptedReads reads{{{}, {0x14, 0, 0, 0}, {0x30, 0, 0, 0}}};
    EXPECT_EQ(Poll(reads), 6);
    EXPECT_EQ(reads.calls, 2);
}

TEST_F(StatusPoll, PostedStopEventEndsOnlyTheEndPollPolicy) {
    InitEvent(&_terminateReader);
    TriggerEvent(&_terminateReader);
    ScriptedReads usb{{{0x10, 0, 0, 0}}};
    EXPECT_EQ(Poll(usb, kesto::StopEventPolicy::kEndPoll), 0);
    EXPECT_EQ(usb.calls, 0);
    EXPECT_TRUE(g_reported.empty());
    EXPECT_TRUE(LogContains("USBPort::sem_timedwait() succeeded\n"));

    TriggerEvent(&_terminateReader);
    ScriptedReads ethernet{{{0x10, 0, 0, 0}}};
    EXPECT_EQ(Poll(ethernet, kesto::StopEventPolicy::kLogAndRead), 3);
    EXPECT_EQ(ethernet.calls, 1);
    EXPECT_EQ(g_reported, (std::vector<int>{3}));
    EXPECT_TRUE(LogContains("Ethernet::sem_timedwait() succeeded "));
    EXPECT_TRUE(LogContains(":: RetVal 0\n"));
    DestroyEvent(&_terminateReader);
}

// ---- the Ethernet transport's own decoder ----

TEST(EthernetStatusCode, PinStateIsSharedByEveryEthernetTransport) {
    Ethernet first("127.0.0.1:9100");
    Ethernet second("127.0.0.1:9100");
    char low[4] = {0x10, 0, 0, 0};
    EXPECT_EQ(first.GetStatusCode(low, 4), 3);
    // The pin state is shared: the same pin seen by another transport is no change.
    char lowAgain[4] = {0x10, 0, 0, 0};
    EXPECT_EQ(second.GetStatusCode(lowAgain, 4), 0);
    char buffer[4] = {0x10, 0, 0, 0};
    EXPECT_EQ(first.GetStatusCode(buffer, 4), 0);
}

}  // namespace
