#include <gtest/gtest.h>

#include <string>

#include "printer/printer.h"

namespace {

// The smallest concrete printer: the base's own behaviour is under test.
class BarePrinter : public Printer {
public:
    using Printer::Printer;
    bool isConnected() override { return false; }
    Communication* getComm() override { return nullptr; }
    void SetPrinterNotifyCallBack(int (*)(int)) override {}
    bool Disconnect() override {
        ++disconnects;
        return true;
    }
    int disconnects = 0;
};

BarePrinter Make(const std::string& text) { return BarePrinter(text.data(), static_cast<int>(text.size())); }
int TypeOf(const std::string& text) { return getPrinterType(text.data(), static_cast<int>(text.size())); }

const std::string kUsb =
    "<device><type>USB</type><path>0001:0005:00</path><modal>VANTO500</modal><maxpacket>12</maxpacket></device>";

TEST(DeviceDescription, UsbDescriptionFillsTheFields) {
    EXPECT_EQ(TypeOf(kUsb), PrinterTypeUsb);
    BarePrinter printer = Make(kUsb);
    EXPECT_EQ(printer.GetPath(), "0001:0005:00");
    EXPECT_EQ(printer.GetSettings(), "VANTO500");
    EXPECT_EQ(printer.GetType(), PrinterTypeUsb);
    EXPECT_EQ(printer.GetLastError(), 0);
    EXPECT_FALSE(printer.GetConnectedFlag());
}

TEST(DeviceDescription, TypeCodesAreExactAndCaseSensitive) {
    EXPECT_EQ(TypeOf("<type>USB</type>"), PrinterTypeUsb);
    EXPECT_EQ(TypeOf("<type>Serial</type>"), PrinterTypeSerial);
    EXPECT_EQ(TypeOf("<type>SERIAL</type>"), PrinterTypeSerial);
    EXPECT_EQ(TypeOf("<type>IEEE1284</type>"), PrinterTypeIEEE1284);
    EXPECT_EQ(TypeOf("<type>ETH</type>"), PrinterTypeEth);
    for (const char* other : {"usb", " USB", "Usb", "USB ", "eth", "Ethernet"}) {
        EXPECT_EQ(TypeOf(std::string("<type>") + other + "</type>"), PrinterTypeUnknown) << other;
    }
    EXPECT_EQ(TypeOf("<device><path>x</path></device>"), PrinterTypeUnknown);
    EXPECT_EQ(TypeOf("<type></type>"), PrinterTypeUnknown);
    EXPECT_EQ(TypeOf("<type >USB</type>"), PrinterTypeUnknown);
    EXPECT_EQ(getPrinterType(nullptr, 10), PrinterTypeUnknown);
}

TEST(DeviceDescription, UnterminatedTypeRunsToTheEndOfTheText) {
    EXPECT_EQ(TypeOf("<device><type>ETH"), PrinterTypeEth);
}

TEST(DeviceDescription, OnlyThePrefixOfTheGivenLengthIsRead) {
    const std::string text = "<type>ETH</type><path>host:9100</path>";
    // Cut inside the closing tag of type: the value runs to the end of the prefix.
    EXPECT_EQ(getPrinterType(text.data(), 9), PrinterTypeEth);       // "<type>ETH"
    EXPECT_EQ(getPrinterType(text.data(), 10), PrinterTypeUnknown);  // "<type>ETH<": value "ETH<"
    EXPECT_EQ(getPrinterType(text.data(), 8), PrinterTypeUnknown);   // "<type>ET"
    BarePrinter printer(text.data(), static_cast<int>(text.size()) - 3);
    EXPECT_EQ(printer.GetPath(), "host:9100</pa");
}

TEST(DeviceDescription, NulBytesAreOrdinaryCharacters) {
    const std::string text("<path>a\0b</path><type>ETH</type>", 32);
    EXPECT_EQ(TypeOf(text), PrinterTypeEth);
    EXPECT_EQ(Make(text).GetPath(), std::string("a\0b", 3));
}

TEST(DeviceDescription, PathIsUnescapedAndFirstOfTwoWins) {
    EXPECT_EQ(Make("<type>ETH</type><path>a&amp;b&lt;c</path>").GetPath(), "a&b<c");
    EXPECT_EQ(Make("<path>&amp;lt;</path>").GetPath(), "&lt;");
    EXPECT_EQ(Make("<path>first</path><path>second</path>").GetPath(), "first");
    EXPECT_EQ(Make("<path><path>x</path></path>").GetPath(), "<path>x");
}

TEST(DeviceDescription, SettingsByType) {
    EXPECT_EQ(Make("<type>USB</type><path>p</path>").GetSettings(), "");
    EXPECT_EQ(Make("<type>Serial</type>").GetSettings(), DefaultSerialSettings);
    EXPECT_EQ(DefaultSerialSettings,
              "<settings><baudrate>115200</baudrate><databits>8</databits><stopbits>1</stopbits><parity>0</parity>"
              "</settings>");
    EXPECT_EQ(Make("<type>ETH</type>").GetSettings(), "");
    EXPECT_EQ(Make("<type>IEEE1284</type>").GetType(), PrinterTypeIEEE1284);
    // The constructor does not accept the upper-case serial word.
    BarePrinter upper = Make("<type>SERIAL</type>");
    EXPECT_EQ(upper.GetType(), PrinterTypeUnknown);
    EXPECT_EQ(upper.GetSettings(), "");
}

TEST(PrinterBase, DefaultOperations) {
    BarePrinter printer = Make(kUsb);
    EXPECT_FALSE(printer.Open());
    EXPECT_FALSE(printer.Close());
    EXPECT_FALSE(printer.SupportsComm());
    EXPECT_FALSE(printer.Connect());
    EXPECT_FALSE(printer.Reconnect());
    EXPECT_TRUE(printer.EarlyConnect());
    EXPECT_TRUE(printer.FinalDisconnect());
    EXPECT_EQ(printer.disconnects, 1);
    printer.SetSettings("TORQA20");
    EXPECT_EQ(printer.GetSettings(), "TORQA20");
    printer.SetLastError(112);
    EXPECT_EQ(printer.GetLastError(), 112);
}

}  // namespace
