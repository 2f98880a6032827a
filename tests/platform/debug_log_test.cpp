#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <string>

#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "support/log_reader.h"

using kesto::test::ClearLog;
using kesto::test::LogMessages;
using kesto::test::LogPath;
using kesto::test::ReadLog;

namespace {

const char* const kStamp = R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4})";

class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override { ClearLog(); }
    void TearDown() override {
        ::rmdir(LogPath().c_str());
        ClearLog();
    }
};

TEST_F(DebugLogTest, EntryIsTimeStampArrowAndMessageWithNothingAdded) {
    DebugPrint("hello %d\n", 5);
    DebugPrint("second\n");
    const std::string log = ReadLog();
    EXPECT_TRUE(std::regex_match(log, std::regex(std::string("^") + kStamp + " ==> hello 5\n" + kStamp +
                                                 " ==> second\n$")))
        << log;
    // Every printed text lands here: only its owner may read it.
    struct stat st {};
    ASSERT_EQ(::stat(LogPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(DebugLogTest, PercentInsideMessageAndEmptyFormatAndMissingLineEnd) {
    DebugPrint("%s\n", "100% sure");
    const char* empty = "";
    DebugPrint(empty);
    DebugPrint("no line end");
    DebugPrint("after\n");
    const std::string log = ReadLog();
    EXPECT_TRUE(std::regex_match(log, std::regex(std::string("^") + kStamp + " ==> 100% sure\n" + kStamp +
                                                 " ==> " + kStamp + " ==> no line end" + kStamp +
                                                 " ==> after\n$")))
        << log;
    // Every printed text lands here: only its owner may read it.
    struct stat st {};
    ASSERT_EQ(::stat(LogPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(DebugLogTest, OutputDebugStringAddsBlankAndLineEnd) {
    OutputDebugString("abc");
    ASSERT_EQ(LogMessages().size(), 1u);
    EXPECT_EQ(LogMessages()[0], "abc ");
    EXPECT_EQ(ReadLog().back(), '\n');
}

TEST_F(DebugLogTest, PrintBitsWritesNineEntriesOnOneLine) {
    const unsigned char byte = 0x05;
    printBits(1, &byte);
    const std::string log = ReadLog();
    EXPECT_EQ(log.find('\n'), std::string::npos);
    const std::regex entry(std::string(kStamp) + " ==> ([01]?)");
    std::string bits;
    int entries = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), entry); it != std::sregex_iterator(); ++it) {
        ++entries;
        bits += (*it)[1].str();
    }
    EXPECT_EQ(entries, 9);
    EXPECT_EQ(bits, "00000101");
}

TEST_F(DebugLogTest, PrintBitsGoesFromLastByteToFirst) {
    const unsigned char bytes[2] = {0x01, 0x80};
    printBits(2, bytes);
    const std::regex entry(std::string(kStamp) + " ==> ([01]?)");
    const std::string log = ReadLog();
    std::string bits;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), entry); it != std::sregex_iterator(); ++it) {
        bits += (*it)[1].str();
    }
    EXPECT_EQ(bits, "1000000000000001");
}

TEST_F(DebugLogTest, LongMessageIsCutNotOverflowed) {
    const std::string longText(5000, 'x');
    DebugPrint("%s\n", longText.c_str());
    DebugPrint("next\n");
    const std::string log = ReadLog();
    const size_t next = log.find(" ==> next\n");
    ASSERT_NE(next, std::string::npos);
    // The cut entry fills 1023 bytes exactly; the next time stamp (24 characters) follows it.
    EXPECT_EQ(next - 24, 1023u);
    EXPECT_EQ(log.substr(24, 5), " ==> ");
    EXPECT_EQ(log.substr(29, 1023 - 29), std::string(1023 - 29, 'x'));
}

TEST_F(DebugLogTest, UnopenableLogDropsEntriesSilently) {
    ASSERT_EQ(::mkdir(LogPath().c_str(), 0700), 0);
    DebugPrint("dropped %d\n", 1);
    OutputDebugString("dropped");
    struct stat st;
    ASSERT_EQ(::stat(LogPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(DebugLogTest, SymbolicLinkAtLogPathIsNotFollowed) {
    const std::string target = LogPath() + ".target";
    { std::ofstream(target) << "keep\n"; }
    ASSERT_EQ(::symlink(target.c_str(), LogPath().c_str()), 0);
    DebugPrint("must not land in the target\n");
    std::ifstream in(target);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "keep\n");
    ::unlink(target.c_str());
}

TEST_F(DebugLogTest, FifoAtLogPathDoesNotBlock) {
    ASSERT_EQ(::mkfifo(LogPath().c_str(), 0600), 0);
    DebugPrint("would block on a fifo without a reader\n");
    SUCCEED();  // reaching this line is the check: the call returned
}

TEST(DebugLogPath, FixedPathUnlessRedirected) {
    const std::string redirected = kesto::DebugLogPath();
    kesto::SetDebugLogPathForTesting(nullptr);
    EXPECT_STREQ(kesto::DebugLogPath(), "/tmp/kestoDebugLog.log");
    kesto::SetDebugLogPathForTesting(redirected.c_str());
    EXPECT_EQ(redirected, LogPath());
}

TEST(GetDateTime, FormatsLocalTimeInPosixLocale) {
    char buffer[80] = {};
    GetDateTime(buffer);
    EXPECT_TRUE(std::regex_match(buffer, std::regex(kStamp))) << buffer;
}

}  // namespace
