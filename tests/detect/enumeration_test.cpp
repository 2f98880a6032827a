// The printer list as the host gets it, with the real libusb enumerating
// emulated devices.
#include <gtest/gtest.h>
#include <libusb.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fixtures/fake_usb_printer.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace {

using kesto::test::FakeUsbInterface;
using kesto::test::FakeUsbPrinterConfig;
using kesto::test::LogContains;
using kesto::test::LogCount;
using kesto::test::UsbTestbed;

const std::string kEmptyList = "<kestoprinters></kestoprinters>";

std::string Device(const std::string& path) {
    return "<device><type>USB</type><path>" + path +
           "</path><modal>VANTO500</modal><maxpacket>12</maxpacket></device>";
}

std::string List(const std::vector<std::string>& paths) {
    std::string list = "<kestoprinters>";
    for (const std::string& path : paths) list += Device(path);
    return list + "</kestoprinters>";
}

FakeUsbPrinterConfig At(int bus, int address) {
    FakeUsbPrinterConfig config;
    config.bus = bus;
    config.address = address;
    return config;
}

// (bus, address) of every device in the order libusb lists them.
std::vector<std::pair<int, int>> LibusbOrder() {
    std::vector<std::pair<int, int>> order;
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) return order;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    for (ssize_t i = 0; i < count; ++i) {
        order.emplace_back(libusb_get_bus_number(list[i]), libusb_get_device_address(list[i]));
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    libusb_exit(context);
    return order;
}

class EnumerationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kesto::test::InMockUsbEnvironment()) << "the umockdev preload is not active";
    }
    void TearDown() override {
        if (detector != nullptr) KESTO_DestroyHardwareDetector(detector);
    }

    // The list through the host's two-call pattern: size first, then the text.
    std::string HostList() {
        const int size = KESTO_GetHardwareXML(Detector(), nullptr, 0);
        if (size <= 0) return "size " + std::to_string(size);
        std::vector<char> buffer(static_cast<size_t>(size), '#');
        const int copied = KESTO_GetHardwareXML(Detector(), buffer.data(), buffer.size());
        if (copied != size) return "copied " + std::to_string(copied);
        if (buffer.back() != '\0') return "no terminator";
        return std::string(buffer.data());
    }

    void* Detector() {
        if (detector == nullptr) detector = KESTO_CreateHardwareDetector(nullptr);
        return detector;
    }

    // First: every libusb context of the test ends before the testbed goes.
    UsbTestbed testbed;
    void* detector = nullptr;
};

TEST_F(EnumerationTest, NoPrinterGivesTheEmptyListAndTheBufferRule) {
    ASSERT_EQ(KESTO_GetHardwareXML(Detector(), nullptr, 0), 32);

    char small[31];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(KESTO_GetHardwareXML(Detector(), small, sizeof small), -1);
    EXPECT_EQ(std::string(small, sizeof small), std::string(sizeof small, '#'));

    char exact[32];
    std::memset(exact, '#', sizeof exact);
    EXPECT_EQ(KESTO_GetHardwareXML(Detector(), exact, sizeof exact), 32);
    EXPECT_EQ(std::string(exact), kEmptyList);
    EXPECT_EQ(LogCount("KESTOHardwareDetector DetectUsbPrinters\n"), 3u);
    EXPECT_FALSE(LogContains("Dev Path="));
}

TEST_F(EnumerationTest, OnePrinterIsListedWithItsBusAddressAndInterface) {
    testbed.AddPrinter(At(20, 5));
    const std::string expected = List({"0014:0005:00"});
    ASSERT_EQ(expected.size(), 137u);

    EXPECT_EQ(KESTO_GetHardwareXML(Detector(), nullptr, 0), 138);
    std::vector<char> shortBuffer(137, '#');
    EXPECT_EQ(KESTO_GetHardwareXML(Detector(), shortBuffer.data(), shortBuffer.size()), -1);
    EXPECT_EQ(std::string(shortBuffer.begin(), shortBuffer.end()), std::string(137, '#'));
    EXPECT_EQ(HostList(), expected);

    EXPECT_TRUE(LogContains("1209:0008 (bus 20, device 5)\n"));
    EXPECT_TRUE(LogContains("Dev Path=0014:0005:00 \n"));
}

TEST_F(EnumerationTest, TwoPrintersFollowLibusbsDeviceOrder) {
    testbed.AddPrinter(At(3, 7));
    testbed.AddPrinter(At(1, 12));
    const std::vector<std::pair<int, int>> order = LibusbOrder();
    ASSERT_EQ(order.size(), 2u);

    std::vector<std::string> paths;
    char path[16];
    for (const auto& device : order) {
        std::snprintf(path, sizeof path, "%04x:%04x:00", device.first, device.second);
        paths.push_back(path);
    }
    EXPECT_EQ(HostList(), List(paths));
    // The two log lines of each device come in the same order.
    const std::vector<std::string> messages = kesto::test::LogMessages();
    std::vector<std::string> seen;
    for (const std::string& message : messages) {
        if (message.rfind("1209:0008 (bus ", 0) == 0 || message.rfind("Dev Path=", 0) == 0) {
            seen.push_back(message);
        }
    }
    std::vector<std::string> expected;
    for (size_t i = 0; i < order.size(); ++i) {
        expected.push_back("1209:0008 (bus " + std::to_string(order[i].first) + ", device " +
                           std::to_string(order[i].second) + ")");
        expected.push_back("Dev Path=" + paths[i] + " ");
    }
    // Two enumerations (size, then text).
    std::vector<std::string> twice = expected;
    twice.insert(twice.end(), expected.begin(), expected.end());
    EXPECT_EQ(seen, twice);
}

TEST_F(EnumerationTest, OnlyPrinterInterfacesOfTheFamilyAreListed) {
    FakeUsbPrinterConfig otherVendor = At(1, 2);
    otherVendor.vendorId = 0x04b8;
    otherVendor.productId = 0x0202;
    testbed.AddPrinter(otherVendor);

    FakeUsbPrinterConfig otherModel = At(1, 3);
    otherModel.productId = 0x0004;  // a printer of the family, but not the listed model
    testbed.AddPrinter(otherModel);

    FakeUsbPrinterConfig noPrinterInterface = At(1, 4);
    noPrinterInterface.interfaces[0].interfaceClass = 0xFF;
    testbed.AddPrinter(noPrinterInterface);

    EXPECT_EQ(HostList(), kEmptyList);
    // The family's device was looked at and passed over for its interface class.
    EXPECT_TRUE(LogContains("1209:0008 (bus 1, device 4)\n"));
    EXPECT_FALSE(LogContains("04b8:0202"));
    EXPECT_FALSE(LogContains("1209:0004"));
    EXPECT_FALSE(LogContains("Dev Path="));

    // A vendor interface beside the printer interface does not hide it.
    FakeUsbPrinterConfig mixed = At(2, 9);
    mixed.interfaces = {FakeUsbInterface{}, FakeUsbInterface{}};
    mixed.interfaces[0].number = 0;
    mixed.interfaces[0].interfaceClass = 0xFF;
    mixed.interfaces[0].withEndpoints = false;
    mixed.interfaces[1].number = 1;
    testbed.AddPrinter(mixed);
    kesto::test::ClearLog();
    EXPECT_EQ(HostList(), List({"0002:0009:01"}));
}

TEST_F(EnumerationTest, EachPrinterAlternateSettingGivesARecord) {
    FakeUsbPrinterConfig config = At(20, 5);
    config.interfaces = {FakeUsbInterface{}, FakeUsbInterface{}};
    config.interfaces[1].alternate = 1;
    config.interfaces[1].protocol = 1;  // unidirectional
    testbed.AddPrinter(config);

    EXPECT_EQ(HostList(), List({"0014:0005:00", "0014:0005:00"}));
    EXPECT_EQ(LogCount("Dev Path=0014:0005:00 \n"), 4u);  // two settings, two enumerations
}

TEST_F(EnumerationTest, EveryCallEnumeratesAfresh) {
    EXPECT_EQ(HostList(), kEmptyList);
    kesto::test::FakeUsbPrinter& printer = testbed.AddPrinter(At(4, 2));
    EXPECT_EQ(HostList(), List({"0004:0002:00"}));
    printer.Vanish();
    EXPECT_EQ(HostList(), kEmptyList);
}

}  // namespace
