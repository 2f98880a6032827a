// The one fault case that has to wait out a production time-out.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

#include "faults/fault_helpers.h"
#include "fixtures/fake_tcp_printer.h"
#include "support/log_reader.h"

namespace {

using kesto::test::DeviceHandle;
using kesto::test::EthDescription;
using kesto::test::Timed;
using kesto::test::UnansweredPort;
using kesto::test::Write;

TEST(TcpPrinterNeverAnswersThroughTheApi, FirstCallFailsAfterTheConnectTimeOutAndLaterOnesAtOnce) {
    UnansweredPort silent;
    ASSERT_TRUE(silent.Ready());
    DeviceHandle device(EthDescription(silent.Path()));
    ASSERT_NE(device.get(), nullptr);
    int result = 0;
    const auto first = Timed([&] { result = Write(device.get(), "abc"); });
    EXPECT_EQ(result, -1);
    EXPECT_GE(first, std::chrono::milliseconds(4000));  // the connect waited its time-out
    EXPECT_LT(first, std::chrono::milliseconds(30000));
    EXPECT_EQ(KESTO_GetLastError(device.get()), ETIMEDOUT);
    EXPECT_TRUE(kesto::test::LogContains(
        "Error in Socket Connect Timeout Error Code :: " + std::to_string(ETIMEDOUT) + "\n"));
    // The failed connection is not tried again on every call.
    const auto second = Timed([&] { result = KESTO_PrintText(device.get(), "abc", 3, false); });
    EXPECT_EQ(result, -1);
    EXPECT_LT(second, std::chrono::milliseconds(2000));
    EXPECT_FALSE(g_bPrintInProgress.load());
}

}  // namespace
