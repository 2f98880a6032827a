#include "escpos/text_cut_drawer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/recording_communication.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace kesto::test {
namespace {

using Strings = std::vector<std::string>;

std::string Header() {
    return FromHex("1B 40 1B 21 00 00 00 00");
}

class TextCutDrawer : public ::testing::Test {
protected:
    void SetUp() override {
        ClearLog();
        g_bPrintInProgress = false;
    }
    void TearDown() override { g_bPrintInProgress = false; }

    // Every write of a job happened with the flag up, and it is down again.
    void ExpectFlaggedJob(const RecordingCommunication& comm) {
        for (const RecordedWrite& record : comm.Records())
            EXPECT_TRUE(record.printInProgress) << Hex(record.bytes);
        EXPECT_FALSE(g_bPrintInProgress.load());
    }

    RecordingPrinter printer;
};

TEST_F(TextCutDrawer, PrintTextFramesTheTextBlock) {
    struct Case {
        int length;
        std::string textBytes;
    };
    const Case cases[] = {
        {3, "abc"},
        {5, std::string("abc\0\0", 5)},  // zero-filled behind the text
        {0, ""},                         // the header alone
    };
    for (const Case& c : cases) {
        RecordingPrinter p;
        EXPECT_EQ(KESTO_PrintText(p.Handle(), "abc", c.length, true), 8 + c.length);
        EXPECT_EQ(p.Comm().Writes(),
                  (Strings{FromHex("1B 4D 00"), Header() + c.textBytes, FromHex("1B 64 01")}))
            << "length " << c.length;
        for (const RecordedWrite& record : p.Comm().Records()) EXPECT_EQ(record.timeout, 0);
    }
    EXPECT_EQ(LogMessages(),
              (Strings{"KESTO_PrintText Text abc", "KESTO_PrintText Command nBytesWritten 11",
                       "KESTO_PrintText Text abc", "KESTO_PrintText Command nBytesWritten 13",
                       // a length of 0 logs nothing of a text that need not end
                       "KESTO_PrintText Text ", "KESTO_PrintText Command nBytesWritten 8"}));
}

TEST_F(TextCutDrawer, PrintTextCopiesLikeStrncpy) {
    EXPECT_EQ(KESTO_PrintText(printer.Handle(), "abcdef", 3, false), 11);
    EXPECT_EQ(KESTO_PrintText(printer.Handle(), std::string("ab\0cd", 5).c_str(), 5, false), 13);
    const Strings writes = printer.Comm().Writes();
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_EQ(writes[1], Header() + "abc");
    // Copying stops at the first zero byte; what follows it is never sent.
    EXPECT_EQ(writes[4], Header() + std::string("ab\0\0\0", 5));
}

TEST_F(TextCutDrawer, PrintTextRaisesTheFlagForItsWritesOnly) {
    EXPECT_EQ(KESTO_PrintText(printer.Handle(), "x", 1, false), 9);
    ASSERT_EQ(printer.Comm().WriteCount(), 3u);
    ExpectFlaggedJob(printer.Comm());
}

TEST_F(TextCutDrawer, LongTextsGoOutWholeInOneBlock) {
    for (int length : {1016, 1017, 5000}) {
        RecordingPrinter p;
        const std::string text(static_cast<size_t>(length), 'x');
        EXPECT_EQ(KESTO_PrintText(p.Handle(), text.c_str(), length, false), length + 8);
        const Strings writes = p.Comm().Writes();
        ASSERT_EQ(writes.size(), 3u);
        EXPECT_EQ(writes[1], Header() + text) << "length " << length;
        EXPECT_EQ(writes[2], FromHex("1B 64 01"));
    }
    // A long count with a short text: zeros behind it, nothing read beyond it.
    EXPECT_EQ(KESTO_PrintText(printer.Handle(), "hi", 2000, false), 2008);
    EXPECT_EQ(printer.Comm().Writes()[1], Header() + "hi" + std::string(1998, '\0'));
}

TEST_F(TextCutDrawer, UnsendableTextsAreRefusedWithoutTouchingPrinterOrFlag) {
    RecordingPrinter onDemand(RecordingPrinter::Mode::kConnectsOnDemand);
    for (bool flag : {false, true}) {
        g_bPrintInProgress = flag;
        EXPECT_EQ(KESTO_PrintText(onDemand.Handle(), "abc", -1, false), -1);
        EXPECT_EQ(KESTO_PrintText(onDemand.Handle(), "abc", INT_MIN, false), -1);
        // A block longer than one Write can carry.
        EXPECT_EQ(KESTO_PrintText(onDemand.Handle(), "abc", INT_MAX - 7, false), -1);
        EXPECT_EQ(KESTO_PrintText(onDemand.Handle(), nullptr, 3, false), -1);
        EXPECT_EQ(g_bPrintInProgress.load(), flag);
    }
    EXPECT_EQ(onDemand.Comm().WriteCount(), 0u);
    EXPECT_EQ(onDemand.ConnectCalls(), 0);
    EXPECT_EQ(LogCount("KESTO_PrintText Text abc"), 2u);  // negative lengths log no text
    EXPECT_EQ(LogCount("KESTO_PrintText Text (null)"), 2u);
    EXPECT_FALSE(LogContains("nBytesWritten"));
}

TEST_F(TextCutDrawer, PrintTextReportsTheBlockWriteAndStillFeeds) {
    printer.Comm().FailWriteNumber(1);
    EXPECT_EQ(KESTO_PrintText(printer.Handle(), "abc", 3, false), -1);
    EXPECT_EQ(printer.Comm().WriteCount(), 3u);
    EXPECT_TRUE(LogContains("KESTO_PrintText Command nBytesWritten -1"));

    RecordingPrinter shortPrinter;
    shortPrinter.Comm().ShortWrites(6);
    EXPECT_EQ(KESTO_PrintText(shortPrinter.Handle(), "abc", 3, false), 6);
    EXPECT_FALSE(g_bPrintInProgress.load());

    RecordingPrinter failingFeed;
    failingFeed.Comm().FailWriteNumber(0);
    failingFeed.Comm().FailWriteNumber(2);
    EXPECT_EQ(KESTO_PrintText(failingFeed.Handle(), "abc", 3, false), 11);
}

TEST_F(TextCutDrawer, NoTransportMeansNoWritesAndNoFlag) {
    RecordingPrinter refusing(RecordingPrinter::Mode::kCannotConnect);
    for (void* handle : {static_cast<void*>(nullptr), refusing.Handle()}) {
        g_bPrintInProgress = false;
        EXPECT_EQ(KESTO_PrintText(handle, "abc", 3, false), -1);
        EXPECT_EQ(PrintText(handle, "abc"), -1);
        EXPECT_EQ(KESTO_CutPaper(handle), -1);
        EXPECT_EQ(KESTO_FeedAndCutPaper(handle), -1);
        EXPECT_EQ(KESTO_OpenCashDrawerA(handle, 1, 2), -1);
        EXPECT_EQ(KESTO_OpenCashDrawerB(handle, 1, 2), -1);
        EXPECT_FALSE(g_bPrintInProgress.load());
    }
    EXPECT_EQ(refusing.Comm().WriteCount(), 0u);
    // Only the first entry of each logging function: they log before looking for the transport.
    const Strings once = {"KESTO_PrintText Text abc", "KESTO_CutPaper  ", "KESTO_FeedAndCutPaper  ",
                          "KESTO_OpenCashDrawerA  ", "KESTO_OpenCashDrawerB  "};
    Strings expected = once;
    expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(LogMessages(), expected);
}

TEST_F(TextCutDrawer, RawPrintTextSendsExactlyTheText) {
    g_bPrintInProgress = false;
    EXPECT_EQ(PrintText(printer.Handle(), "hello\r\n"), 7);
    EXPECT_EQ(PrintText(printer.Handle(), ""), 0);
    EXPECT_EQ(PrintText(printer.Handle(), nullptr), -1);
    EXPECT_EQ(printer.Comm().Writes(), (Strings{"hello\r\n", ""}));
    EXPECT_FALSE(printer.Comm().Records()[0].printInProgress);
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(TextCutDrawer, CutPaperInitialisesThenCuts) {
    EXPECT_EQ(KESTO_CutPaper(printer.Handle()), 2);
    EXPECT_EQ(printer.Comm().Writes(), (Strings{FromHex("1B 40"), FromHex("1B 3D 01"), FromHex("1B 21 00"),
                                                FromHex("1D 42 00"), FromHex("1B 69")}));
    ExpectFlaggedJob(printer.Comm());
    EXPECT_EQ(LogMessages(), (Strings{"KESTO_CutPaper  ", "KESTO_CutPaper nBytesWritten 2"}));

    RecordingPrinter failing;
    failing.Comm().FailAllWrites();
    EXPECT_EQ(KESTO_CutPaper(failing.Handle()), -1);
    EXPECT_EQ(failing.Comm().WriteCount(), 5u);
    EXPECT_TRUE(LogContains("KESTO_CutPaper nBytesWritten -1"));
}

TEST_F(TextCutDrawer, FeedAndCutIsOneCommand) {
    EXPECT_EQ(KESTO_FeedAndCutPaper(printer.Handle()), 4);
    EXPECT_EQ(printer.Comm().Writes(), (Strings{FromHex("1D 56 42 03")}));
    ExpectFlaggedJob(printer.Comm());
    EXPECT_EQ(LogMessages(), (Strings{"KESTO_FeedAndCutPaper  ", "KESTO_FeedAndCutPaper nBytesWritten 4"}));
}

TEST_F(TextCutDrawer, DrawerPulsesCarryTheLowBytesOfTheTimes) {
    EXPECT_EQ(KESTO_OpenCashDrawerA(printer.Handle(), 25, 250), 5);
    EXPECT_EQ(KESTO_OpenCashDrawerB(printer.Handle(), 256 + 25, -6), 5);
    EXPECT_EQ(printer.Comm().Writes(), (Strings{FromHex("1B 70 30 19 FA"), FromHex("1B 70 31 19 FA")}));
    for (const RecordedWrite& record : printer.Comm().Records()) EXPECT_FALSE(record.printInProgress);
    EXPECT_EQ(LogMessages(), (Strings{"KESTO_OpenCashDrawerA  ", "KESTO_OpenCashDrawerB  "}));
}

TEST_F(TextCutDrawer, ExceptionsFromTheTransportBecomeMinusOne) {
    printer.Comm().ThrowOnWrites();
    EXPECT_EQ(KESTO_PrintText(printer.Handle(), "abc", 3, false), -1);
    EXPECT_FALSE(g_bPrintInProgress.load());
    EXPECT_EQ(KESTO_CutPaper(printer.Handle()), -1);
    EXPECT_FALSE(g_bPrintInProgress.load());
    EXPECT_EQ(KESTO_FeedAndCutPaper(printer.Handle()), -1);
    EXPECT_FALSE(g_bPrintInProgress.load());
    EXPECT_EQ(PrintText(printer.Handle(), "abc"), -1);
    EXPECT_EQ(KESTO_OpenCashDrawerA(printer.Handle(), 1, 1), -1);
}

TEST_F(TextCutDrawer, ConcurrentJobsKeepTheirBlocksWhole) {
    constexpr int kJobs = 50;
    auto job = [this](const char* text) {
        for (int i = 0; i < kJobs; ++i) KESTO_PrintText(printer.Handle(), text, 4, false);
    };
    std::thread first(job, "aaaa");
    std::thread second(job, "bbbb");
    first.join();
    second.join();
    int blocksA = 0;
    int blocksB = 0;
    for (const std::string& bytes : printer.Comm().Writes()) {
        blocksA += bytes == Header() + "aaaa";
        blocksB += bytes == Header() + "bbbb";
    }
    EXPECT_EQ(blocksA, kJobs);
    EXPECT_EQ(blocksB, kJobs);
    EXPECT_EQ(printer.Comm().WriteCount(), 6u * kJobs);
    EXPECT_FALSE(g_bPrintInProgress.load());
}

TEST(ReplaceInString, ReplacesTheFirstCharacterOfEachOccurrence) {
    EXPECT_EQ(replaceinString("a-b-c", "-", "+"), "a+b+c");
    EXPECT_EQ(replaceinString("a-b-c", "-", ""), "abc");
    EXPECT_EQ(replaceinString("xabyab", "ab", "Z"), "xZbyZb");
    EXPECT_EQ(replaceinString("none", "-", "+"), "none");
    EXPECT_EQ(replaceinString("", "-", "+"), "");
}

TEST(ReplaceInString, EndsWhereAPlainScanWouldNot) {
    EXPECT_EQ(replaceinString("a-b", "", "+"), "a-b");
    EXPECT_EQ(replaceinString("a-b-", "-", "--"), "a--b--");
    EXPECT_EQ(replaceinString("aa", "a", "aa"), "aaaa");
    EXPECT_EQ(replaceinString("<&>", "&", "&amp;"), "<&amp;>");
}

TEST(TextBlockBuilder, FillsExactlyTheBlock) {
    EXPECT_EQ(kesto::TextBlock("abcdef", 4), Header() + "abcd");
}

}  // namespace
}  // namespace kesto::test
