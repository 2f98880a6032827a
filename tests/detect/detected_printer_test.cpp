#include "detect/detected_printer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "printer/printer.h"

namespace {

using namespace std::string_literals;

std::string UsbXml(const std::string& escapedPath, const std::string& packet) {
    return "<device><type>USB</type><path>" + escapedPath + "</path><modal>VANTO500</modal><maxpacket>" +
           packet + "</maxpacket></device>";
}

TEST(DetectedUsbPrinter, WritesTheUsbDescriptionWithPlainDecimalPacketSize) {
    EXPECT_EQ(DetectedUsbPrinter("0014:0005:00", 12).ToXmlString(),
              "<device><type>USB</type><path>0014:0005:00</path><modal>VANTO500</modal>"
              "<maxpacket>12</maxpacket></device>");
    EXPECT_EQ(DetectedUsbPrinter("p", 0).ToXmlString(), UsbXml("p", "0"));
    EXPECT_EQ(DetectedUsbPrinter("p", 4294967295u).ToXmlString(), UsbXml("p", "4294967295"));
}

TEST(DetectedSerialPrinter, WritesPathThenExtraXmlUnescaped) {
    EXPECT_EQ(DetectedSerialPrinter("/dev/ttyS0", "").ToXmlString(),
              "<device><type>Serial</type><path>/dev/ttyS0</path></device>");
    EXPECT_EQ(DetectedSerialPrinter("/dev/ttyS0", "<settings><baudrate>115200</baudrate></settings>&")
                  .ToXmlString(),
              "<device><type>Serial</type><path>/dev/ttyS0</path>"
              "<settings><baudrate>115200</baudrate></settings>&</device>");
}

TEST(DetectedPrinterKinds, EscapeThePathAndDropNulBytesExceptUsb) {
    const std::string nasty = "a<b&c";
    const std::string withNul = "a\0b"s;
    struct Kind {
        std::unique_ptr<DetectedPrinter> plain, nul, empty;
        std::string opening, closing;
    };
    Kind kinds[] = {
        {std::make_unique<DetectedSerialPrinter>(nasty, "<x/>"),
         std::make_unique<DetectedSerialPrinter>(withNul, ""),
         std::make_unique<DetectedSerialPrinter>("", ""), "<device><type>Serial</type><path>", "</path>"},
        {std::make_unique<DetectedParellelPrinter>(nasty, "<x/>"),
         std::make_unique<DetectedParellelPrinter>(withNul, ""),
         std::make_unique<DetectedParellelPrinter>("", ""), "<device><type>IEEE1284</type><path>", "</path>"},
        {std::make_unique<DetectedEthernetPrinter>(nasty, "<x/>"),
         std::make_unique<DetectedEthernetPrinter>(withNul, ""),
         std::make_unique<DetectedEthernetPrinter>("", ""), "<device><type>ETH</type><path>", "</path>"},
    };
    for (Kind& kind : kinds) {
        SCOPED_TRACE(kind.opening);
        EXPECT_EQ(kind.plain->ToXmlString(), kind.opening + "a&lt;b&amp;c</path><x/></device>");
        EXPECT_EQ(kind.nul->ToXmlString(), kind.opening + "ab</path></device>");
        EXPECT_EQ(kind.empty->ToXmlString(), kind.opening + "</path></device>");
    }
    // Several NUL bytes in a row are all removed, not every second one.
    EXPECT_EQ(DetectedEthernetPrinter("\0\0x\0\0"s, "").ToXmlString(),
              "<device><type>ETH</type><path>x</path></device>");

    EXPECT_EQ(DetectedUsbPrinter(nasty, 1).ToXmlString(), UsbXml("a&lt;b&amp;c", "1"));
    EXPECT_EQ(DetectedUsbPrinter("'\">", 1).ToXmlString(), UsbXml("&apos;&quot;&gt;", "1"));
    EXPECT_EQ(DetectedUsbPrinter(withNul, 1).ToXmlString(), UsbXml("a\0b"s, "1"));
    EXPECT_EQ(DetectedUsbPrinter("", 1).ToXmlString(), UsbXml("", "1"));
}

TEST(DetectedPrinter, CreateAlwaysMakesAUsbRecordOwnedThroughTheBase) {
    for (unsigned type :
         {unsigned(PrinterTypeUsb), unsigned(PrinterTypeSerial), unsigned(PrinterTypeEth), 99u}) {
        std::unique_ptr<DetectedPrinter> record(DetectedPrinter::Create("0001:0002:00", type, 12));
        auto* usb = dynamic_cast<DetectedUsbPrinter*>(record.get());
        ASSERT_NE(usb, nullptr) << "type " << type;
        EXPECT_EQ(usb->path, "0001:0002:00");
        EXPECT_EQ(usb->maxPacket, 12u);
    }
}

TEST(DetectedPrinter, WritingLeavesTheRecordUnchanged) {
    const std::string path = "x&y\0z"s;
    DetectedUsbPrinter usb(path, 7);
    DetectedSerialPrinter serial(path, "<a>");
    const std::string usbFirst = usb.ToXmlString();
    const std::string serialFirst = serial.ToXmlString();
    EXPECT_EQ(usb.ToXmlString(), usbFirst);
    EXPECT_EQ(serial.ToXmlString(), serialFirst);
    EXPECT_EQ(usb.path, path);
    EXPECT_EQ(serial.path, path);
    EXPECT_EQ(serial.extraXml, "<a>");
}

}  // namespace
