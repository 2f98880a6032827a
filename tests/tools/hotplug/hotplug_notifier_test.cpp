// The notifier's core with emulated printers arriving and leaving, and a
// detector of the driver library in the same process listening for it.
#include "hotplug_notifier.h"
#include "platform/notification_endpoints.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/fake_usb_printer.h"
#include "hotplug_test_support.h"
#include "kesto/kesto.h"
#include "platform/notification_test_support.h"
#include "support/log_reader.h"

namespace {

using kesto::hotplug::Change;
using kesto::hotplug::DeviceChange;
using kesto::hotplug::Notifier;
using kesto::hotplug::Options;
using kesto::test::EndpointListener;
using kesto::test::FakeUsbPrinter;
using kesto::test::FakeUsbPrinterConfig;
using kesto::test::UsbTestbed;
using kesto::test::WaitUntil;

std::atomic<int> g_hostCalls{0};
std::atomic<int> g_nonNullArguments{0};

void HostCallback(void* argument) {
    if (argument != nullptr) ++g_nonNullArguments;
    ++g_hostCalls;
}

// A notifier handling events on a thread of its own, stopped and joined on destruction.
class RunningNotifier {
public:
    explicit RunningNotifier(const Options& options) : notifier(options) {
        std::string error;
        started = notifier.Start(error);
        EXPECT_TRUE(started) << error;
        if (started) result = std::async(std::launch::async, [this] { return notifier.Run(); });
    }
    ~RunningNotifier() { Finish(); }
    RunningNotifier(const RunningNotifier&) = delete;
    RunningNotifier& operator=(const RunningNotifier&) = delete;

    // Stops the notifier; Run's result, or -1 when it did not run.
    int Finish() {
        if (!result.valid()) return -1;
        notifier.Stop();
        return result.get();
    }

    Notifier notifier;
    bool started = false;
    std::future<int> result;
};

std::string HardwareList(void* detector) {
    char buffer[1024] = {};
    return KESTO_GetHardwareXML(detector, buffer, sizeof buffer) > 0 ? buffer : "(failed)";
}

FakeUsbPrinterConfig Printer(int bus, int address, uint16_t vendor, uint16_t product) {
    FakeUsbPrinterConfig config;
    config.bus = bus;
    config.address = address;
    config.vendorId = vendor;
    config.productId = product;
    return config;
}

bool SameChange(const DeviceChange& change, Change kind, uint16_t vendor, uint16_t product, int bus,
                int address) {
    return change.change == kind && change.vendorId == vendor && change.productId == product &&
           change.bus == bus && change.address == address;
}

class HotplugNotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kesto::test::InMockUsbEnvironment()) << "the umockdev preload is not active";
    }
    // Every notifier and detector of a test is declared after it.
    UsbTestbed testbed;
};

TEST_F(HotplugNotifierTest, DetectorIsCalledBackWhenAPrinterArrivesAndLeaves) {
    void* detector = KESTO_CreateHardwareDetector(&HostCallback);
    ASSERT_NE(detector, nullptr);
    ASSERT_TRUE(
        WaitUntil([] { return kesto::test::LogContains("***Bind Success  127.0.0.1 on Port 9930 ***\n"); }));
    // The other library instances the machine might run.
    std::vector<std::unique_ptr<EndpointListener>> others;
    for (int i = 1; i < kesto::kNotificationEndpoints; ++i) {
        others.push_back(std::make_unique<EndpointListener>(kesto::kNotificationHosts[i], kesto::kNotificationPorts[i]));
        ASSERT_TRUE(others.back()->Bound()) << i;
    }

    {
        RunningNotifier running{Options()};
        ASSERT_TRUE(running.started);
        EXPECT_EQ(HardwareList(detector), "<kestoprinters></kestoprinters>");

        FakeUsbPrinter& printer = testbed.AddPrinter(Printer(3, 4, 0x1209, 0x0008));
        ASSERT_TRUE(WaitUntil([] { return g_hostCalls.load() >= 1; }));
        for (auto& other : others) EXPECT_EQ(other->Next(), "DEVICE_ADD");
        EXPECT_NE(HardwareList(detector).find("<path>0003:0004:00</path>"), std::string::npos);

        printer.Vanish();
        ASSERT_TRUE(WaitUntil([] { return g_hostCalls.load() >= 2; }));
        for (auto& other : others) EXPECT_EQ(other->Next(), "DEVICE_REMOVE");
        EXPECT_EQ(HardwareList(detector), "<kestoprinters></kestoprinters>");

        EXPECT_EQ(running.Finish(), 0);
        const std::vector<DeviceChange> changes = running.notifier.Changes();
        ASSERT_EQ(changes.size(), 2u);
        EXPECT_TRUE(SameChange(changes[0], Change::kAdded, 0x1209, 0x0008, 3, 4));
        EXPECT_TRUE(SameChange(changes[1], Change::kRemoved, 0x1209, 0x0008, 3, 4));
    }
    EXPECT_EQ(g_hostCalls.load(), 2);
    EXPECT_EQ(g_nonNullArguments.load(), 0);
    for (auto& other : others) EXPECT_FALSE(other->Pending());
    EXPECT_EQ(KESTO_DestroyHardwareDetector(detector), 1);
}

TEST_F(HotplugNotifierTest, OnlyTheWatchedVendorAndProductAreAnnounced) {
    RunningNotifier listed{Options()};
    Options wholeFamily;
    wholeFamily.productId = kesto::hotplug::kAnyProduct;
    RunningNotifier family{wholeFamily};
    ASSERT_TRUE(listed.started && family.started);

    // In this order: when the last one is announced, the others were handled before it.
    testbed.AddPrinter(Printer(1, 2, 0x04b8, 0x0008));  // another vendor
    testbed.AddPrinter(Printer(1, 3, 0x1209, 0x0004));  // another model of the family
    testbed.AddPrinter(Printer(1, 4, 0x1209, 0x0008));
    ASSERT_TRUE(WaitUntil([&] { return !listed.notifier.Changes().empty(); }));
    ASSERT_TRUE(WaitUntil([&] { return family.notifier.Changes().size() >= 2; }));

    const std::vector<DeviceChange> listedChanges = listed.notifier.Changes();
    ASSERT_EQ(listedChanges.size(), 1u);
    EXPECT_TRUE(SameChange(listedChanges[0], Change::kAdded, 0x1209, 0x0008, 1, 4));
    const std::vector<DeviceChange> familyChanges = family.notifier.Changes();
    ASSERT_EQ(familyChanges.size(), 2u);
    EXPECT_TRUE(SameChange(familyChanges[0], Change::kAdded, 0x1209, 0x0004, 1, 3));
    EXPECT_TRUE(SameChange(familyChanges[1], Change::kAdded, 0x1209, 0x0008, 1, 4));
}

TEST_F(HotplugNotifierTest, PrintersAlreadyAttachedAreNotAnnounced) {
    FakeUsbPrinter& printer = testbed.AddPrinter(Printer(2, 2, 0x1209, 0x0008));
    RunningNotifier running{Options()};
    ASSERT_TRUE(running.started);
    // The first change it sees is the departure.
    printer.Vanish();
    ASSERT_TRUE(WaitUntil([&] { return !running.notifier.Changes().empty(); }));
    const std::vector<DeviceChange> changes = running.notifier.Changes();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(SameChange(changes[0], Change::kRemoved, 0x1209, 0x0008, 2, 2));
}

TEST_F(HotplugNotifierTest, OnceEndsAfterTheFirstChange) {
    Options options;
    options.once = true;
    EndpointListener library(kesto::kNotificationHosts[0], kesto::kNotificationPorts[0]);
    ASSERT_TRUE(library.Bound());
    Notifier notifier(options);
    std::string error;
    ASSERT_TRUE(notifier.Start(error)) << error;
    auto result = std::async(std::launch::async, [&] { return notifier.Run(); });

    testbed.AddPrinter(Printer(5, 6, 0x1209, 0x0008));
    // Generous: only a Run that never ends fails here.
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    EXPECT_EQ(notifier.Changes().size(), 1u);
    EXPECT_EQ(library.Next(), "DEVICE_ADD");
}

TEST_F(HotplugNotifierTest, StopEndsAWaitingRunAndRunBeforeStartFails) {
    Notifier idle{Options()};
    EXPECT_EQ(idle.Run(), 1);  // not started: nothing to wait for

    RunningNotifier running{Options()};
    ASSERT_TRUE(running.started);
    EXPECT_EQ(running.Finish(), 0);
    EXPECT_TRUE(running.notifier.Changes().empty());
}

}  // namespace
