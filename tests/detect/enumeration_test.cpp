// The printer list with the real libusb enumerating emulated devices.
#include <gtest/gtest.h>

#include "detect/hardware_detector.h"
#include "fixtures/fake_usb_printer.h"
#include "kesto/kesto.h"

namespace {

TEST(Enumeration, EveryPrinterSettingOfTheListedModelIsARecordInABufferThatFits) {
    kesto::test::UsbTestbed testbed;
    kesto::test::FakeUsbPrinterConfig listed, otherVendor, otherModel, notAPrinter;
    listed.bus = 20;
    listed.address = 5;
    listed.interfaces = {{0, 0, 0xFF}, {1, 0, 7}, {1, 1, 7}};  // a vendor interface, a printer with two settings
    otherVendor.address = 3;
    otherVendor.vendorId = 0x04b8;
    otherModel.address = 4;
    otherModel.productId = kesto::kUsbProductTorqa20;
    notAPrinter.address = 6;
    notAPrinter.interfaces = {{0, 0, 0xFF}};
    for (const auto& config : {listed, otherVendor, otherModel, notAPrinter}) testbed.AddPrinter(config);

    const std::string record =
        "<device><type>USB</type><path>0014:0005:01</path><modal>VANTO500</modal><maxpacket>12</maxpacket></device>";
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
