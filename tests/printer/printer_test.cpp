#include <gtest/gtest.h>

#include "fixtures/fake_tcp_printer.h"
#include "printer/device_handle.h"
#include "printer/printer_objects.h"

namespace {

using namespace std::string_literals;

std::string Device(const std::string& type, const std::string& path) {
    return "<device><type>" + type + "</type><path>" + path + "</path><modal>TORQA20i</modal></device>";
}

TEST(DeviceDescription, TypeCodePathAndModelComeFromTheGivenBytes) {
    const std::pair<std::string, int> rows[] = {
        {"USB", PrinterTypeUsb},           {"Serial", PrinterTypeSerial}, {"SERIAL", PrinterTypeSerial},
        {"IEEE1284", PrinterTypeIEEE1284}, {"ETH", PrinterTypeEth},       {"usb", PrinterTypeUnknown},
        {"Ethernet", PrinterTypeUnknown},  {"", PrinterTypeUnknown}};
    for (const auto& [type, code] : rows) {
        const std::string text = Device(type, "p");
        EXPECT_EQ(getPrinterType(text.data(), static_cast<int>(text.size())), code) << type;
    }
    // Only descriptionLength bytes count: "<type>ETH" runs to their end, "<type>ET" is no type.
    EXPECT_EQ(getPrinterType("<type>ETH</type>", 9), PrinterTypeEth);
    EXPECT_EQ(getPrinterType("<type>ETH</type>", 8), PrinterTypeUnknown);

    // The path is unescaped, ampersand last; NUL bytes inside the length are characters.
    const std::string usb = Device("USB", "a&amp;b&lt;\0c&amp;lt;"s);
    PrinterUsb printer(usb.data(), static_cast<int>(usb.size()));
    EXPECT_EQ(printer.GetType(), PrinterTypeUsb);
    EXPECT_EQ(printer.GetPath(), "a&b<\0c&lt;"s);
    EXPECT_EQ(printer.GetSettings(), "TORQA20i");
}

TEST(DeviceHandle, TheTransportIsConnectedOnFirstUseAndNullWithoutAPrinter) {
    EXPECT_EQ(GetCommPtr(nullptr), nullptr);
    kesto::test::FakeTcpPrinter tcp;
    const std::string reachable = Device("ETH", tcp.Path());
    PrinterEth printer(reachable.data(), static_cast<int>(reachable.size()));
    Communication* comm = GetCommPtr(static_cast<Printer*>(&printer));
    ASSERT_NE(comm, nullptr);
    EXPECT_TRUE(printer.isConnected());
    EXPECT_EQ(GetCommPtr(static_cast<Printer*>(&printer)), comm);

    kesto::test::RefusedPort refused;
    const std::string absent = Device("ETH", refused.Path());
    PrinterEth off(absent.data(), static_cast<int>(absent.size()));
    EXPECT_EQ(GetCommPtr(static_cast<Printer*>(&off)), nullptr);
    EXPECT_EQ(off.GetLastError(), ECONNREFUSED);
}

}  // namespace
