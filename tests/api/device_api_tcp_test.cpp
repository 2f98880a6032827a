#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/fake_tcp_printer.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace {

using kesto::test::FakeTcpPrinter;
using kesto::test::LogContains;
using kesto::test::LogMessages;
using kesto::test::RefusedPort;

std::string EthDescription(const std::string& path) {
    return "<device><type>ETH</type><path>" + path + "</path></device>";
}

void* Create(std::string description) {
    return KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()));
}

// Destroys the handle at the end of a test, whatever happens.
struct Handle {
    explicit Handle(void* h) : h(h) {}
    ~Handle() {
        if (h != nullptr) KESTO_DestroyDevicePointer(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void* h;
};

TEST(CreateDevicePointer, SerialAndParallelGiveNullWithBannerAndNoTypeLine) {
    for (const char* type : {"Serial", "IEEE1284"}) {
        const std::string description =
            std::string("<device><type>") + type + "</type><path>/dev/ttyS0</path></device>";
        EXPECT_EQ(Create(description), nullptr) << type;
        const std::vector<std::string> messages = LogMessages();
        ASSERT_EQ(messages.size(), 6u) << type;
        EXPECT_EQ(messages[0], std::string(53, '*'));
        EXPECT_EQ(messages[1], "            KESTO JavaPOS Debug Log Started          ");
        EXPECT_EQ(messages[2], std::string(53, '*'));
        EXPECT_EQ(messages[3], "KESTO Linux/Mac Shared Object Version 0.6.0.2");
        EXPECT_EQ(messages[4], "KESTO_CreateDevicePointer");
        EXPECT_EQ(messages[5], description);
    }
}

TEST(CreateDevicePointer, MissingTypeIsUnknownAndEveryCreationEmptiesTheLog) {
    DebugPrint("left over from before\n");
    EXPECT_EQ(Create("<device><path>x</path></device>"), nullptr);
    EXPECT_FALSE(LogContains("left over from before"));
    EXPECT_TRUE(LogContains("KESTO_CreateDevicePointer PrinterTypeUnknown\n"));
    EXPECT_EQ(Create("<device><type>usb</type></device>"), nullptr);
    EXPECT_EQ(kesto::test::LogCount("KESTO JavaPOS Debug Log Started"), 1u);
}

TEST(CreateDevicePointer, UnreachablePrinterStillGivesHandleThenErrors) {
    RefusedPort refused;
    Handle device(Create(EthDescription(refused.Path())));
    ASSERT_NE(device.h, nullptr);
    EXPECT_TRUE(LogContains("KESTO_CreateDevicePointer PrinterEth\n"));
    EXPECT_EQ(KESTO_WriteData(device.h, "x", 1), -1);
    EXPECT_EQ(KESTO_GetLastError(device.h), ECONNREFUSED);
    EXPECT_EQ(KESTO_OnPrinterError(device.h, nullptr), -1);
}

TEST(CreateDevicePointer, PathWithoutColonReports112) {
    Handle device(Create(EthDescription("127.0.0.1")));
    ASSERT_NE(device.h, nullptr);
    EXPECT_EQ(KESTO_WriteData(device.h, "x", 1), -1);
    EXPECT_EQ(KESTO_GetLastError(device.h), 112);
}

TEST(DeviceLifecycle, ConnectsLazilyOnceAndDestroyClosesTheConnection) {
    FakeTcpPrinter printer;
    void* h = Create(EthDescription(printer.Path()));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(printer.Accepted(), 0);  // creating opens nothing

    EXPECT_EQ(KESTO_WriteData(h, "abc", 3), 3);
    EXPECT_EQ(KESTO_WriteData(h, "def", 3), 3);
    ASSERT_TRUE(printer.WaitForBytes(6));
    EXPECT_EQ(printer.Received(), "abcdef");
    EXPECT_EQ(printer.Accepted(), 1);  // the bytes arrived, so the one connection was counted
    EXPECT_EQ(KESTO_GetLastError(h), 0);
    EXPECT_EQ(KESTO_WriteData(h, "", 0), 0);

    EXPECT_EQ(KESTO_DestroyDevicePointer(h), 1);
    EXPECT_TRUE(printer.WaitForClientClose());
    EXPECT_TRUE(LogContains("KESTO_DestroyDevicePointer\n"));
    EXPECT_TRUE(LogContains("Ethernet Socket Closed\n"));
}

TEST(DeviceLifecycle, DisconnectedMarkStopsWritesUntilReconnected) {
    FakeTcpPrinter printer;
    Handle device(Create(EthDescription(printer.Path())));
    ASSERT_EQ(KESTO_WriteData(device.h, "1", 1), 1);
    ASSERT_TRUE(printer.WaitForBytes(1));

    EXPECT_EQ(KESTO_DeviceDisconnected(device.h), 1);
    EXPECT_EQ(KESTO_WriteData(device.h, "2", 1), -1);
    EXPECT_EQ(KESTO_GetLastError(device.h), 0);

    EXPECT_EQ(KESTO_DeviceReconnected(device.h), 1);
    EXPECT_EQ(KESTO_WriteData(device.h, "3", 1), 1);
    ASSERT_TRUE(printer.WaitForBytes(2));
    EXPECT_EQ(printer.Received(), "13");
    EXPECT_EQ(printer.Accepted(), 1);  // the transport was never reopened
}

TEST(DeviceCalls, NullHandlesAndPlainAnswers) {
    EXPECT_EQ(KESTO_DestroyDevicePointer(nullptr), -1);
    EXPECT_TRUE(LogContains("KESTO_DestroyDevicePointer\n"));
    EXPECT_EQ(KESTO_DeviceDisconnected(nullptr), -1);
    EXPECT_EQ(KESTO_DeviceReconnected(nullptr), -1);
    EXPECT_EQ(KESTO_OnPrinterError(nullptr, nullptr), -1);
    EXPECT_TRUE(LogContains("KESTO_OnPrinterError  \n"));
    EXPECT_EQ(KESTO_WriteData(nullptr, "x", 1), -1);
    EXPECT_EQ(KESTO_GetLastError(nullptr), -1);
    int anything = 0;
    EXPECT_EQ(KESTO_SetUserData(nullptr, nullptr), 1);
    EXPECT_EQ(KESTO_SetUserData(&anything, &anything), 1);
    EXPECT_EQ(GetAvailableParallelPorts(nullptr), 0);
    EXPECT_EQ(GetAvailableSerialPorts(&anything), 0);
}

TEST(DeviceCalls, VersionStringNeedsFifteenBytes) {
    char buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    KESTO_GetVersionString(buffer, 14);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x');
    KESTO_GetVersionString(buffer, 15);
    EXPECT_STREQ(buffer, "0.6.0.2");
    KESTO_GetVersionString(nullptr, 15);
    char one = 'x';
    KESTO_GetVersionString(&one, 0);
    EXPECT_EQ(one, 'x');
}

int RecordStatus(int) {
    return 0;
}

TEST(DeviceCalls, OnPrinterErrorConnectsAndRegisters) {
    FakeTcpPrinter printer;
    Handle device(Create(EthDescription(printer.Path())));
    EXPECT_EQ(KESTO_OnPrinterError(device.h, RecordStatus), 1);
    EXPECT_TRUE(printer.WaitForConnections(1));
}

TEST(DeviceConcurrency, EightThreadsWritePayloadsThatArriveWholeAndContiguous) {
    FakeTcpPrinter printer;
    Handle device(Create(EthDescription(printer.Path())));
    constexpr int kThreads = 8;
    constexpr int kPayloads = 20;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int p = 0; p < kPayloads; ++p) {
                const std::string payload(1000, static_cast<char>('A' + t));
                if (KESTO_WriteData(device.h, payload.data(), 1000) != 1000) ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    ASSERT_TRUE(printer.WaitForBytes(kThreads * kPayloads * 1000));
    const std::string received = printer.Received();
    int counts[kThreads] = {};
    for (size_t at = 0; at < received.size(); at += 1000) {
        const char c = received[at];
        ASSERT_GE(c, 'A');
        ASSERT_LT(c, 'A' + kThreads);
        EXPECT_EQ(received.substr(at, 1000), std::string(1000, c))
            << "payload at " << at << " was interleaved";
        ++counts[c - 'A'];
    }
    for (int count : counts) EXPECT_EQ(count, kPayloads);
    EXPECT_TRUE(printer.WaitForConnections(1));
    EXPECT_EQ(printer.Accepted(), 1);  // first use from eight threads built one transport
}

TEST(DeviceResources, CreateConnectDestroyCyclesLeaveNoDescriptorBehind) {
    FakeTcpPrinter printer;
    const std::string description = EthDescription(printer.Path());
    void* warmUp = Create(description);
    KESTO_WriteData(warmUp, "w", 1);
    KESTO_DestroyDevicePointer(warmUp);
    // The fake printer lives in this process: count once it has let go of the warm-up connection.
    ASSERT_TRUE(printer.WaitForBytes(1));
    ASSERT_TRUE(printer.WaitForClientClose());
    const int before = kesto::test::CountOpenDescriptors();
    for (int i = 0; i < 1000; ++i) {
        void* h = Create(description);
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(KESTO_WriteData(h, "c", 1), 1) << "cycle " << i;
        ASSERT_EQ(KESTO_DestroyDevicePointer(h), 1);
    }
    EXPECT_TRUE(printer.WaitForBytes(1001));
    EXPECT_TRUE(printer.WaitForClientClose());
    EXPECT_EQ(kesto::test::CountOpenDescriptors(), before);
}

}  // namespace
