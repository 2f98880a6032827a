// The one Ethernet case that waits the real, unshortened time-out.
#include <gtest/gtest.h>

#include <chrono>

#include "fixtures/fake_tcp_printer.h"
#include "support/log_reader.h"
#include "transport/ethernet_transport.h"

namespace {

TEST(EthernetOpenSlow, DefaultConnectTimeOutIsFiveSeconds) {
    kesto::test::UnansweredPort port;
    ASSERT_TRUE(port.Ready()) << "could not fill the accept queue";
    Ethernet transport(port.Path());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(transport.Open());
    // A lower bound only: the wait must not be cut short.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500));
    EXPECT_TRUE(kesto::test::LogContains("Error in Socket Connect Timeout Error Code :: "));
}

}  // namespace
