#include <gtest/gtest.h>

#include <future>

#include "detect/detected_printer.h"
#include "kesto/kesto.h"
#include "platform/loopback_udp.h"
#include "platform/notification_channel.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using kesto::test::SocketBoundTo;
using kesto::test::WaitUntil;

TEST(DetectedPrinter, RecordsWriteTheirDeviceDescription) {
    EXPECT_EQ(
        DetectedUsbPrinter("a<b&\0c"s, 12).ToXmlString(),
        "<device><type>USB</type><path>a&lt;b&amp;\0c</path><modal>VANTO500</modal><maxpacket>12</maxpacket>"
        "</device>"s);
    // The other kinds drop NUL bytes from the path and add their extra elements as they are.
    EXPECT_EQ(DetectedSerialPrinter("/dev/tty\0S0>"s, "<x>&</x>").ToXmlString(),
              "<device><type>Serial</type><path>/dev/ttyS0&gt;</path><x>&</x></device>");
    EXPECT_EQ(DetectedParellelPrinter("\0\0lp'0"s, "").ToXmlString(),
              "<device><type>IEEE1284</type><path>lp&apos;0</path></device>");
    EXPECT_EQ(DetectedEthernetPrinter("h\"st:9100", "").ToXmlString(),
              "<device><type>ETH</type><path>h&quot;st:9100</path></device>");
}

std::atomic<int> g_calls{0};

TEST(HardwareDetector, CallsTheHostBackPerNotificationAndNeverAfterItsDestruction) {
    const int port = kesto::test::LoopbackUdp::FreePort();
    const kesto::NotificationEndpoint endpoints[] = {{"127.0.0.1", port}};
    kesto::SetNotificationEndpointsForTesting(endpoints, 1);
    void* detector =
        KESTO_CreateHardwareDetector([](void* argument) { g_calls += argument == nullptr ? 1 : 100; });
    ASSERT_NE(detector, nullptr);
    EXPECT_EQ(g_calls.load(), 0);  // nothing before a notification
    ASSERT_TRUE(WaitUntil([&] { return SocketBoundTo(port) >= 0; }));
    kesto::test::LoopbackUdp sender;
    ASSERT_TRUE(sender.Send(port, "DEVICE_ADD"));
    ASSERT_TRUE(WaitUntil([] { return g_calls == 1; }));

    std::atomic<bool> sending{true};
    auto stream = std::async(std::launch::async, [&] {
        while (sending) sender.Send(port, "DEVICE_REMOVE");
    });
    EXPECT_TRUE(WaitUntil([] { return g_calls >= 5; }));
    auto destroyed = std::async(std::launch::async, [&] { return KESTO_DestroyHardwareDetector(detector); });
    // The thread blocked in its receive was stopped and joined.
    ASSERT_EQ(destroyed.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(destroyed.get(), 1);
    const int callsAtDestruction = g_calls;
    EXPECT_EQ(SocketBoundTo(port), -1);
    sending = false;
    stream.get();
    EXPECT_EQ(g_calls.load(), callsAtDestruction);
    EXPECT_EQ(KESTO_GetHardwareXML(nullptr, nullptr, 0), -1);
    kesto::SetNotificationEndpointsForTesting(nullptr, 0);
}

}  // namespace
