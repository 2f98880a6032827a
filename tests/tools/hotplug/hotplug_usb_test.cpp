// The notifier's core and `kesto list` with emulated printers.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <future>

#include "fixtures/fake_usb_printer.h"
#include "hotplug_notifier.h"
#include "platform/loopback_udp.h"

namespace {

TEST(HotplugNotifier, TellsEveryEndpointWhenTheWatchedPrinterArrivesAndLeaves) {
    kesto::test::UsbTestbed testbed;
    kesto::test::LoopbackUdp first, second;
    kesto::hotplug::Options options;
    options.endpoints = {{"127.0.0.1", first.port}, {"127.0.0.1", second.port}};
    kesto::hotplug::Notifier notifier(options);
    std::string error;
    ASSERT_TRUE(notifier.Start(error)) << error;
    auto run = std::async(std::launch::async, [&] { return notifier.Run(); });

    testbed.AddPrinter({1, 4, kesto::kUsbVendorId, kesto::kUsbProductTorqa20});  // not watched by default
    kesto::test::FakeUsbPrinter& printer = testbed.AddPrinter();
    for (const auto* endpoint : {&first, &second}) EXPECT_EQ(endpoint->Receive(), "DEVICE_ADD");
    printer.Vanish();
    for (const auto* endpoint : {&first, &second}) EXPECT_EQ(endpoint->Receive(), "DEVICE_REMOVE");
    notifier.Stop();
    EXPECT_EQ(run.get(), 0);
    const auto changes = notifier.Changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(changes[0].change == kesto::hotplug::Change::kAdded && changes[0].productId == 0x0008);
    EXPECT_TRUE(changes[1].change == kesto::hotplug::Change::kRemoved && changes[1].productId == 0x0008);
}

TEST(KestoList, PrintsEachEmulatedPrinterOfTheFamilyOnALine) {
    kesto::test::UsbTestbed testbed;
    testbed.AddPrinter({20, 5});
    testbed.AddPrinter({1, 9, 0x04b8});  // another vendor's
    // In a network namespace of its own: the library's detector binds the machine-wide endpoints.
    FILE* output = ::popen(KESTO_OWN_NAMESPACE
                           " net -- sh -c 'ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0 "
                           "LD_PRELOAD=" KESTO_UMOCKDEV_PRELOAD " exec " KESTO_CLI " list'",
                           "r");
    ASSERT_NE(output, nullptr);
    std::string text;
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, output)) > 0;) text.append(buffer, n);
    const int status = ::pclose(output);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << text;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(
        text,
        "<device><type>USB</type><path>0014:0005:00</path><modal>VANTO500</modal><maxpacket>12</maxpacket>"
        "</device>\n");
}

}  // namespace
