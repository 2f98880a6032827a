// Status end to end: conditions of the virtual printer (cover, paper, drawer)
// travel as automatic status blocks over TCP, through the library's status
// thread and decoding, to the host's callback as status codes.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace kesto::e2e {
namespace {

std::mutex g_codesMutex;
std::vector<int> g_codes;  // every non-zero code the callback received

int RecordCode(int code) {
    std::lock_guard<std::mutex> guard(g_codesMutex);
    if (code != 0) g_codes.push_back(code);
    return 0;
}

std::vector<int> Codes() {
    std::lock_guard<std::mutex> guard(g_codesMutex);
    return g_codes;
}

class StatusE2E : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> guard(g_codesMutex);
            g_codes.clear();
        }
        ASSERT_NE(device.get(), nullptr);
        ASSERT_EQ(KESTO_OnPrinterError(device.get(), RecordCode), 1);
        ASSERT_EQ(KESTO_CreateStatusThread(device.get()), 1);
    }
    void TearDown() override {
        KESTO_DestroyStatusThread(device.get());
        EXPECT_EQ(_threadHandle.load(), static_cast<pthread_t>(0));
    }

    // Waits for the next non-zero code and returns it (0 when none came).
    int NextCode() {
        const size_t seen = consumed;
        if (!WaitUntil([&] { return Codes().size() > seen; })) return 0;
        return Codes()[consumed++];
    }
    void Control(const std::string& command) {
        const std::string reply = printer.Control(command);
        EXPECT_EQ(reply.rfind("ok ", 0), 0u) << command << ": " << reply;
    }

    PrinterServer printer;
    Device device{printer.Description()};
    size_t consumed = 0;
};

TEST_F(StatusE2E, CoverPaperAndDrawerChangesReachTheCallback) {
    // The thread's automatic-status command makes the printer report at once:
    // the drawer pin is low.
    EXPECT_EQ(NextCode(), 3);

    Control("cover-open");
    EXPECT_EQ(NextCode(), 7);
    Control("cover-close");
    EXPECT_EQ(NextCode(), 9);

    Control("paper-near-end");
    EXPECT_EQ(NextCode(), 24);
    Control("paper-ok");
    EXPECT_EQ(NextCode(), 23);
    Control("paper-end");
    EXPECT_EQ(NextCode(), 19);
    Control("paper-ok");
    EXPECT_EQ(NextCode(), 32);

    // The kick opens the drawer: pin 3 goes high until the drawer is shut.
    EXPECT_EQ(KESTO_OpenCashDrawerA(device.get(), 25, 250), 5);
    EXPECT_EQ(NextCode(), 6);
    EXPECT_TRUE(printer.Condition().drawer_high);
    Control("drawer-close");
    EXPECT_EQ(NextCode(), 3);

    KESTO_DestroyStatusThread(device.get());
    EXPECT_EQ(Codes(), (std::vector<int>{3, 7, 9, 24, 23, 19, 32, 6, 3}));
}

TEST_F(StatusE2E, ReportsGoOnAfterTheThreadStoodBackForAPrint) {
    // Polling has begun once the printer got the automatic-status command.
    ASSERT_TRUE(WaitUntil([&] { return printer.AsbMask() != 0; }));
    EXPECT_EQ(KESTO_PrintSampleReceipt1(device.get()), 0);
    std::vector<Receipt> receipts = printer.WaitForReceipts(1);
    ASSERT_EQ(receipts.size(), 1u);
    EXPECT_TRUE(HasLine(receipts[0], "CORNER DELI & COFFEE"));

    Control("cover-open");
    // The drawer pin state is kept per process: its first report (3) may have
    // gone to an earlier test of this process.
    int code = NextCode();
    if (code == 3) code = NextCode();
    EXPECT_EQ(code, 7);
    Control("cover-close");
    EXPECT_EQ(NextCode(), 9);
}

}  // namespace
}  // namespace kesto::e2e
