// A debug log that cannot be written, or a link planted at its path: the log
// entries are dropped or go to a fresh file, printing goes on, and nothing
// the link points at is touched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#include "faults/fault_helpers.h"
#include "fixtures/fake_tcp_printer.h"
#include "image/bmp_bytes.h"
#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "support/log_reader.h"

namespace {

using kesto::test::DeviceHandle;
using kesto::test::EthDescription;
using kesto::test::FakeTcpPrinter;
using kesto::test::Payload;
using kesto::test::TempDir;
using kesto::test::Write;

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Points the log elsewhere for one test and back to this process's own log after.
class LogElsewhere : public ::testing::Test {
protected:
    void Redirect(const std::string& path) { kesto::SetDebugLogPathForTesting(path.c_str()); }
    void TearDown() override { kesto::SetDebugLogPathForTesting(kesto::test::LogPath().c_str()); }

    // Creates a handle, prints through it and checks that every byte arrived.
    void PrintAndCheck() {
        FakeTcpPrinter printer;
        DeviceHandle device(EthDescription(printer.Path()));
        ASSERT_NE(device.get(), nullptr);
        const std::string job = Payload(50000, 41);
        EXPECT_EQ(Write(device.get(), job), static_cast<int>(job.size()));
        EXPECT_EQ(KESTO_PrintText(device.get(), "abc", 3, false), 11);
        EXPECT_EQ(KESTO_CutPaper(device.get()), 2);
        EXPECT_EQ(KESTO_GetLastError(device.get()), 0);
        ASSERT_TRUE(printer.WaitForBytes(job.size() + 3 + 11 + 3));
        EXPECT_TRUE(printer.Received().compare(0, job.size(), job) == 0);
        EXPECT_EQ(device.Destroy(), 1);
    }

    TempDir dir;
};

TEST_F(LogElsewhere, UnopenableLogIsDroppedAndPrintingGoesOn) {
    // Tests run as root, so a directory without write permission would not
    // stop the open: a path below a regular file does (ENOTDIR).
    const std::string file = dir.File("plain-file");
    std::ofstream(file) << "unchanged";
    const std::string log = file + "/kestoDebugLog.log";
    Redirect(log);
    PrintAndCheck();
    struct stat st {};
    EXPECT_EQ(::stat(log.c_str(), &st), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(Contents(file), "unchanged");
}

TEST_F(LogElsewhere, LinkAtTheLogPathIsNeverFollowed) {
    const std::string target = dir.File("precious");
    std::ofstream(target) << "precious";
    const std::string log = dir.File("kestoDebugLog.log");
    ASSERT_EQ(::symlink(target.c_str(), log.c_str()), 0);
    Redirect(log);

    // Creating a handle empties the log: the link itself goes, the file behind it stays.
    PrintAndCheck();
    EXPECT_EQ(Contents(target), "precious");
    EXPECT_FALSE(IsLink(log));
    EXPECT_NE(Contents(log).find("KESTO_WriteData\n"), std::string::npos);

    // A link planted while a handle is open: entries are dropped, not written through it.
    FakeTcpPrinter printer;
    DeviceHandle device(EthDescription(printer.Path()));
    ASSERT_EQ(::unlink(log.c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), log.c_str()), 0);
    EXPECT_EQ(Write(device.get(), "after the link"), 14);
    ASSERT_TRUE(printer.WaitForBytes(14));
    EXPECT_EQ(printer.Received(), "after the link");
    EXPECT_EQ(Contents(target), "precious");
    EXPECT_TRUE(IsLink(log));

    // A dangling link does not make the library create the file it names.
    const std::string absent = dir.File("absent");
    ASSERT_EQ(::unlink(log.c_str()), 0);
    ASSERT_EQ(::symlink(absent.c_str(), log.c_str()), 0);
    EXPECT_EQ(Write(device.get(), "x"), 1);
    EXPECT_FALSE(kesto::test::FileExists(absent));
}

}  // namespace
