#include "detect/hardware_detector.h"
#include "kesto/kesto.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "platform/notification_test_support.h"
#include "support/log_reader.h"

namespace {

using kesto::test::LogContains;
using kesto::test::LogCount;
using kesto::test::SendDatagram;
using kesto::test::TakenEndpoint;
using kesto::test::WaitForReceives;
using kesto::test::WaitUntil;

const std::string kEmptyList = "<kestoprinters></kestoprinters>";
const std::string kFirstBind = "***Bind Success  127.0.0.1 on Port 9930 ***\n";

// The host's side: the callback has no context of its own.
std::atomic<int> g_calls{0};
std::atomic<int> g_nonNullArguments{0};
std::atomic<bool> g_destroyReturned{false};
std::atomic<int> g_callsAfterDestroy{0};

void HostCallback(void* argument) {
    if (argument != nullptr) ++g_nonNullArguments;
    if (g_destroyReturned.load()) ++g_callsAfterDestroy;
    ++g_calls;
}

// Destroys the detector and tells whether that returned within limit.
bool DestroyWithin(void* detector, std::chrono::milliseconds limit) {
    auto done =
        std::async(std::launch::async, [detector] { return KESTO_DestroyHardwareDetector(detector); });
    const bool prompt = done.wait_for(limit) == std::future_status::ready;
    EXPECT_EQ(done.get(), 1);
    return prompt;
}

TEST(UsbPath, IsBusAddressAndInterfaceInZeroPaddedLowerCaseHex) {
    EXPECT_EQ(kesto::FormatUsbPath(20, 5, 0), "0014:0005:00");
    EXPECT_EQ(kesto::FormatUsbPath(255, 171, 10), "00ff:00ab:0a");
    EXPECT_EQ(kesto::FormatUsbPath(0, 0, 0).size(), 12u);
}

TEST(PrinterList, WrapsTheRecordsInOrderWithNothingBetween) {
    std::list<DetectedPrinter*> none;
    EXPECT_EQ(kesto::BuildPrinterList(none), kEmptyList);

    DetectedUsbPrinter first("0014:0005:00", 12);
    DetectedUsbPrinter second("0001:0002:01", 12);
    std::list<DetectedPrinter*> two{&first, &second};
    const std::string list = kesto::BuildPrinterList(two);
    EXPECT_EQ(list, "<kestoprinters>" + first.ToXmlString() + second.ToXmlString() + "</kestoprinters>");
    std::list<DetectedPrinter*> one{&first};
    EXPECT_EQ(kesto::BuildPrinterList(one).size(), 137u);
}

TEST(TextResult, NullBufferAsksForTheSizeAndShortBuffersStayUntouched) {
    const std::string text = "0123456789";
    EXPECT_EQ(kesto::CopyTextResult(text, nullptr, 0), 11);
    EXPECT_EQ(kesto::CopyTextResult(text, nullptr, 1000), 11);

    char exact[11];
    std::memset(exact, '#', sizeof exact);
    EXPECT_EQ(kesto::CopyTextResult(text, exact, sizeof exact), 11);
    EXPECT_STREQ(exact, "0123456789");

    char roomy[16];
    std::memset(roomy, '#', sizeof roomy);
    EXPECT_EQ(kesto::CopyTextResult(text, roomy, sizeof roomy), 11);
    EXPECT_STREQ(roomy, "0123456789");
    EXPECT_EQ(roomy[11], '#');  // nothing written behind the terminator

    char shortBuffer[10];
    std::memset(shortBuffer, '#', sizeof shortBuffer);
    EXPECT_EQ(kesto::CopyTextResult(text, shortBuffer, sizeof shortBuffer), -1);
    EXPECT_EQ(std::string(shortBuffer, sizeof shortBuffer), std::string(10, '#'));
    EXPECT_EQ(kesto::CopyTextResult(text, shortBuffer, 0), -1);

    EXPECT_EQ(kesto::CopyTextResult("", nullptr, 0), 1);
}

// This machine has no printer of the family attached.
TEST(HardwareDetector, ListsNoPrinterAndFollowsTheBufferRule) {
    void* detector = KESTO_CreateHardwareDetector(&HostCallback);
    ASSERT_NE(detector, nullptr);

    EXPECT_EQ(KESTO_GetHardwareXML(detector, nullptr, 0), 32);
    char exact[32];
    std::memset(exact, '#', sizeof exact);
    EXPECT_EQ(KESTO_GetHardwareXML(detector, exact, sizeof exact), 32);
    EXPECT_EQ(std::string(exact), kEmptyList);

    char oneShort[31];
    std::memset(oneShort, '#', sizeof oneShort);
    EXPECT_EQ(KESTO_GetHardwareXML(detector, oneShort, sizeof oneShort), -1);
    EXPECT_EQ(std::string(oneShort, sizeof oneShort), std::string(31, '#'));

    EXPECT_EQ(LogCount("KESTOHardwareDetector GetHardwareXml\n"), 3u);
    EXPECT_EQ(LogCount("KESTOHardwareDetector DetectUsbPrinters\n"), 3u);
    EXPECT_EQ(KESTO_GetHardwareXML(nullptr, exact, sizeof exact), -1);
    EXPECT_EQ(KESTO_DestroyHardwareDetector(detector), 1);
}

TEST(HardwareDetector, NullHandlesAreHarmless) {
    EXPECT_EQ(KESTO_DestroyHardwareDetector(nullptr), 1);
    EXPECT_FALSE(LogContains("Destructor"));

    // Without a callback the detector still lists and still drains the channel.
    void* detector = KESTO_CreateHardwareDetector(nullptr);
    ASSERT_NE(detector, nullptr);
    EXPECT_EQ(KESTO_GetHardwareXML(detector, nullptr, 0), 32);
    ASSERT_TRUE(WaitUntil([] { return LogContains(kFirstBind); }));
    ASSERT_TRUE(WaitForReceives(1));
    ASSERT_TRUE(SendDatagram("127.0.0.1", 9930, "DEVICE_ADD"));
    EXPECT_TRUE(WaitForReceives(2));
    EXPECT_EQ(KESTO_DestroyHardwareDetector(detector), 1);
}

TEST(HardwareDetector, DeliversNotificationsWithANullArgument) {
    g_calls = 0;
    void* detector = KESTO_CreateHardwareDetector(&HostCallback);
    ASSERT_NE(detector, nullptr);
    ASSERT_TRUE(WaitUntil([] { return LogContains(kFirstBind); }));
    ASSERT_TRUE(SendDatagram("127.0.0.1", 9930, "DEVICE_ADD"));
    ASSERT_TRUE(SendDatagram("127.0.0.1", 9930, "DEVICE_REMOVE"));
    EXPECT_TRUE(WaitUntil([] { return g_calls.load() == 2; }));
    EXPECT_EQ(g_nonNullArguments.load(), 0);
    KESTO_DestroyHardwareDetector(detector);

    std::vector<std::string> expected = {"KESTOHardwareDetector Constructor\n",
                                         "KESTOHardwareDetector StartThread\n",
                                         "KESTOHardwareDetector HardwareChangeThreadEntry\n",
                                         "KESTOHardwareDetector HardwareChangeThread\n",
                                         "KESTOHardwareDetector Destructor\n",
                                         "KESTOHardwareDetector KillThread\n"};
    for (const std::string& line : expected) EXPECT_EQ(LogCount(line), 1u) << line;
    const std::string log = kesto::test::ReadLog();
    EXPECT_LT(log.find("Constructor\n"), log.find("StartThread\n"));
    EXPECT_LT(log.find("HardwareChangeThreadEntry\n"), log.find("HardwareChangeThread\n"));
    EXPECT_LT(log.find("Destructor\n"), log.find("KillThread\n"));
}

TEST(HardwareDetector, DestroyStopsTheBlockedThreadPromptlyAndFreesTheEndpoint) {
    g_calls = 0;
    void* detector = KESTO_CreateHardwareDetector(&HostCallback);
    ASSERT_NE(detector, nullptr);
    ASSERT_TRUE(WaitUntil([] { return LogContains(kFirstBind); }));
    ASSERT_TRUE(WaitForReceives(1));  // the thread sits in its receive

    EXPECT_TRUE(DestroyWithin(detector, std::chrono::seconds(1)));
    TakenEndpoint endpoint("127.0.0.1", 9930);
    EXPECT_TRUE(endpoint.Taken());
    SendDatagram("127.0.0.1", 9930, "DEVICE_ADD");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(g_calls.load(), 0);
}

TEST(HardwareDetector, NoCallbackAfterDestroyEvenUnderAStreamOfNotifications) {
    g_calls = 0;
    void* detector = KESTO_CreateHardwareDetector(&HostCallback);
    ASSERT_NE(detector, nullptr);
    ASSERT_TRUE(WaitUntil([] { return LogContains(kFirstBind); }));

    std::atomic<bool> sending{true};
    std::thread sender([&] {
        while (sending.load()) SendDatagram("127.0.0.1", 9930, "DEVICE_ADD DEVICE_REMOVE");
    });
    EXPECT_TRUE(WaitUntil([] { return g_calls.load() >= 10; }));
    KESTO_DestroyHardwareDetector(detector);
    g_destroyReturned = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sending = false;
    sender.join();
    EXPECT_EQ(g_callsAfterDestroy.load(), 0);
}

TEST(HardwareDetector, ASecondDetectorBindsTheSameEndpointAgainAndDelivers) {
    g_calls = 0;
    void* first = KESTO_CreateHardwareDetector(&HostCallback);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(WaitUntil([] { return LogCount(kFirstBind) == 1; }));
    KESTO_DestroyHardwareDetector(first);

    void* second = KESTO_CreateHardwareDetector(&HostCallback);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(WaitUntil([] { return LogCount(kFirstBind) == 2; }));
    EXPECT_EQ(LogCount("Bind failed."), 0u);
    ASSERT_TRUE(SendDatagram("127.0.0.1", 9930, "DEVICE_ADD"));
    EXPECT_TRUE(WaitUntil([] { return g_calls.load() == 1; }));
    KESTO_DestroyHardwareDetector(second);
}

std::atomic<void*> g_selfDestroying{nullptr};
std::atomic<bool> g_selfDestroyed{false};

void DestroyOwnDetector(void*) {
    if (void* detector = g_selfDestroying.exchange(nullptr)) {
        KESTO_DestroyHardwareDetector(detector);
        g_selfDestroyed = true;
    }
}

TEST(HardwareDetector, CallbackMayDestroyItsOwnDetector) {
    void* detector = KESTO_CreateHardwareDetector(&DestroyOwnDetector);
    ASSERT_NE(detector, nullptr);
    g_selfDestroying = detector;
    ASSERT_TRUE(WaitUntil([] { return LogContains(kFirstBind); }));
    ASSERT_TRUE(SendDatagram("127.0.0.1", 9930, "DEVICE_ADD"));
    ASSERT_TRUE(WaitUntil([] { return g_selfDestroyed.load(); }));
    // The thread winds down by itself and gives the endpoint back.
    EXPECT_TRUE(WaitUntil([] { return TakenEndpoint("127.0.0.1", 9930).Taken(); }));
}

}  // namespace
