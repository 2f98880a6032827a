// The printer list with the real libusb enumerating emulated devices.
#include <gtest/gtest.h>

#include "detect/hardware_detector.h"
#include "fixtures/fake_usb_printer.h"
#include "kesto/kesto.h"

namespace {

TEST(Enumeration, EveryPrinterSettingOfTheListedModelIsARecordInABufferThatFits) {
    kesto::test::UsbTestbed testbed;
    const uint16_t family = kesto::kUsbVendorId, listed = kesto::kUsbProductVanto500;
    // A vendor interface and a printer interface with two settings; another vendor's printer,
    // another model of the family, and the listed model without a printer interface.
    testbed.AddPrinter({20, 5, family, listed, false, {{0, 0, 0xFF}, {1, 0, 7}, {1, 1, 7}}});
    testbed.AddPrinter({1, 3, 0x04b8, listed});
    testbed.AddPrinter({1, 4, family, kesto::kUsbProductTorqa20});
    testbed.AddPrinter({1, 6, family, listed, false, {{0, 0, 0xFF}}});

    const std::string record =
        "<device><type>USB</type><path>0014:0005:01</path><modal>VANTO500</modal><maxpacket>12</maxpacket>"
        "</device>";
    const std::string list = "<kestoprinters>" + record + record + "</kestoprinters>";
    const int size = static_cast<int>(list.size()) + 1;
    KESTOHardwareDetector detector;  // no thread: enumeration only
    ASSERT_EQ(KESTO_GetHardwareXML(&detector, nullptr, 0), size);
    std::vector<char> buffer(size, '#');
    EXPECT_EQ(KESTO_GetHardwareXML(&detector, buffer.data(), size - 1), -1);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(size, '#'));
    EXPECT_EQ(KESTO_GetHardwareXML(&detector, buffer.data(), size), size);
    EXPECT_EQ(std::string(buffer.data()), list);
    EXPECT_TRUE(detector.printers.empty());  // the records of a call are freed
}

}  // namespace
