#include "transport/usb_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <future>

#include "fixtures/fake_usb_printer.h"
#include "support/test_support.h"

namespace {

using kesto::test::FakeUsbPrinter;
using kesto::test::OutReply;
using Transfers = std::vector<std::string>;

class UsbTransport : public ::testing::Test {
protected:
    kesto::test::UsbTestbed testbed;  // first: it outlives every libusb context of a test
};

TEST_F(UsbTransport, EachModelOpensThePrinterWithItsProductId) {
    const char* models[] = {"TORQA10",  "TORQA12", "TORQA15", "TORQA20",
                            "TORQA20i", "TORQA22", "TORQA25", "VANTO500"};
    std::vector<FakeUsbPrinter*> printers;
    for (uint16_t product = 1; product <= 8; ++product) {
        printers.push_back(&testbed.AddPrinter({1, 10 + product, kesto::kUsbVendorId, product}));
    }
    for (const char* model : models) {
        USBPort port("", model);
        ASSERT_TRUE(port.Open()) << model;
        EXPECT_EQ(port.Write(model, 8, 0), 8);
    }
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(printers[i]->OutTransfers(), Transfers{std::string(models[i], 8)});
    USBPort unknown("", "torqa10");  // names match exactly
    EXPECT_FALSE(unknown.Open());
    EXPECT_EQ(unknown.GetLastError(), 19);
}

TEST_F(UsbTransport, APathPicksItsPrinterAmongIdenticalOnesAndOneNamingNoneTakesTheFirstOfTheModel) {
    FakeUsbPrinter& receipt = testbed.AddPrinter({3, 7});
    FakeUsbPrinter& kitchen = testbed.AddPrinter({3, 12});
    testbed.AddPrinter({3, 9, kesto::kUsbVendorId, kesto::kUsbProductTorqa10});  // the family, another model
    const struct {
        const char* path;
        FakeUsbPrinter* printer;  // null: no printer of the model there
    } rows[] = {{"0003:0007:00", &receipt}, {"0003:000c:00", &kitchen},
                {"3:C:1", &kitchen},        {"", nullptr},
                {"0003:0009:00", nullptr},  {"0003:000d:00", nullptr},
                {"0003:000c", nullptr},     {"0003:000c:00 ", nullptr},
                {"0003:+00c:00", nullptr},  {"00003:000c:00", nullptr}};
    for (const auto& row : rows) {
        USBPort port(row.path, "VANTO500");
        ASSERT_TRUE(port.Open()) << row.path;
        EXPECT_EQ(port.Write(row.path, static_cast<int>(std::strlen(row.path)) + 1, 0),
                  static_cast<int>(std::strlen(row.path)) + 1);
    }
    // The first of the model is the one a description without a path opens.
    const Transfers atReceipt = receipt.OutTransfers();
    FakeUsbPrinter* first =
        std::find(atReceipt.begin(), atReceipt.end(), std::string(1, '\0')) != atReceipt.end() ? &receipt
                                                                                               : &kitchen;
    for (FakeUsbPrinter* printer : {&receipt, &kitchen}) {
        Transfers expected;
        for (const auto& row : rows)
            if ((row.printer != nullptr ? row.printer : first) == printer)
                expected.emplace_back(row.path, std::strlen(row.path) + 1);
        EXPECT_EQ(printer->OutTransfers(), expected);
    }
}

TEST_F(UsbTransport, TheKernelDriverIsDetachedForTheClaimAndGivenBack) {
    USBPort port("", "VANTO500");
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.GetLastError(), 2);  // no printer of the model
    FakeUsbPrinter& printer =
        testbed.AddPrinter({1, 2, kesto::kUsbVendorId, kesto::kUsbProductVanto500, true});
    printer.RefuseClaim(EBUSY);
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(printer.KernelDriverBound());  // a refused claim gives the driver back
    printer.RefuseClaim(0);
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(printer.KernelDriverBound());
    EXPECT_EQ(port.Close(), 1);
    EXPECT_TRUE(printer.KernelDriverBound());
}

TEST_F(UsbTransport, WritesGoOutInBulkTransfersAndCountWhatReachedThePrinter) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500");
    ASSERT_TRUE(port.Open());
    std::string data(150, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    EXPECT_EQ(port.Write(data.data(), 150, 0), 150);  // one transfer
    for (OutReply reply : {OutReply{64}, OutReply{64}}) printer.QueueOut(reply);
    EXPECT_EQ(port.Write(data.data(), 150, 0), 150);  // short transfers: the rest follows
    for (OutReply reply : {OutReply{40}, OutReply{10, -EPROTO}}) printer.QueueOut(reply);
    EXPECT_EQ(port.Write(data.data(), 150, 0), 50);  // a failing transfer's moved bytes count
    printer.QueueOut(OutReply{0, -EPIPE});
    EXPECT_EQ(port.Write(data.data(), 150, 0), 0);  // a stall...
    EXPECT_EQ(port.Write(data.data(), 2, 0), 2);    // ...whose halt was cleared
    printer.QueueOut(OutReply{0});
    EXPECT_EQ(port.Write(data.data(), 150, 0), 0);  // a transfer that takes nothing ends the write
    EXPECT_EQ(printer.OutTransfers(),
              (Transfers{data, data.substr(0, 64), data.substr(64, 64), data.substr(128), data.substr(0, 40),
                         data.substr(40, 10), "", data.substr(0, 2), ""}));
}

std::vector<int> g_reported;

TEST_F(UsbTransport, StatusComesInOnTheInEndpoint) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500", 1000);  // each status read waits a second
    ASSERT_TRUE(port.Open());
    port.SetPrinterStatusNotifyCallBack([](int code) { return g_reported.push_back(code), 0; });
    printer.QueueIn({0x30, 0, 0, 0});
    EXPECT_EQ(port.GetPrinterStatus(), 7);
    EXPECT_EQ(port.GetPrinterStatus(), 0);  // silence: three reads time out
    EXPECT_EQ(g_reported, (std::vector<int>{7, 0}));
}

// The reader on the IN endpoint: real-time answers, confirmations and blocks sorted apart.
TEST_F(UsbTransport, TheStateAndTheConfirmationComeInOnTheInEndpoint) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    printer.Answer({0x12, 0x16, 0x12, 0x1E});  // cover open, paper near end
    USBPort port("", "VANTO500", 1000);
    ASSERT_TRUE(port.Open());
    kesto::PrinterLink& link = *port.Link();
    EXPECT_EQ(link.QueryState(20000), KESTO_STATE_COVER_OPEN | KESTO_STATE_PAPER_NEAR_END);
    EXPECT_TRUE(link.WaitPrinted(20000));
    printer.QueueIn({0x30, 0, 0, 0});
    EXPECT_EQ(port.GetPrinterStatus(), 7);
    EXPECT_EQ(printer.OutTransfers(),
              (Transfers{kesto::RealTimeStatusRequests(), kesto::ProcessIdRequest(0)}));
    EXPECT_EQ(port.Close(), 1);
    EXPECT_FALSE(link.WaitPrinted(0));
}

TEST_F(UsbTransport, TheStopFlagOrAnUnplugEndsAWaitingRead) {
    FakeUsbPrinter& printer = testbed.AddPrinter();
    USBPort port("", "VANTO500");  // a status read waits 60 s
    ASSERT_TRUE(port.Open());
    std::atomic<bool> stop{false};
    auto poll = std::async(std::launch::async, [&] { return port.PollStatus(&stop); });
    ASSERT_TRUE(kesto::test::WaitUntil([&] { return printer.PendingIn() > 0; }));
    stop = true;
    ASSERT_EQ(poll.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(poll.get().code, 0);

    char buffer[256];
    auto read = std::async(std::launch::async, [&] { return port.Read(buffer, 0); });
    ASSERT_TRUE(kesto::test::WaitUntil([&] { return printer.PendingIn() > 0; }));
    printer.Vanish();
    EXPECT_EQ(read.get(), 0);
    EXPECT_EQ(port.Write("x", 1, 0), 0);
}

}  // namespace
