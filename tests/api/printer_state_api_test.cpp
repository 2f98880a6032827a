#include <gtest/gtest.h>

#include <future>
#include <map>

#include "fixtures/fake_tcp_printer.h"
#include "fixtures/recording_communication.h"
#include "support/test_support.h"

namespace kesto::test {
namespace {

void* Open(const FakeTcpPrinter& printer) {
    std::string description = "<device><type>ETH</type><path>" + printer.Path() + "</path></device>";
    return KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()));
}

// What each handle's state callback heard, with the user data it came with.
struct Heard {
    std::mutex mutex;
    std::map<void*, std::vector<std::pair<int, void*>>> calls;
    std::vector<std::pair<int, void*>> Of(void* handle) {
        std::lock_guard<std::mutex> lock(mutex);
        return calls[handle];
    }
} g_heard;
void Record(void* handle, int state, void* userData) {
    std::lock_guard<std::mutex> lock(g_heard.mutex);
    g_heard.calls[handle].emplace_back(state, userData);
}
std::atomic<int> g_code{-1};
int RecordCode(int code) {
    if (code != 0) g_code = code;
    return 0;
}

const std::string kAutomaticStatus = H("1D 61 0F 00"), kRealTime = H("10 04 01 10 04 02 10 04 03 10 04 04");

TEST(PrinterState, TwoPrintersEachWithItsOwnStateDrawerPinAndCallback) {
    FakeTcpPrinter first, second;
    void* a = Open(first);
    void* b = Open(second);
    int tagA = 0, tagB = 0;
    ASSERT_EQ(KESTO_OnPrinterState(a, Record, &tagA), 1);
    ASSERT_EQ(KESTO_OnPrinterState(b, Record, &tagB), 1);
    ASSERT_TRUE(first.WaitForBytes(4) && second.WaitForBytes(4));
    EXPECT_EQ(first.Received(), kAutomaticStatus);  // the state is sent on change, never asked for

    ASSERT_TRUE(first.SendStatus({0x30, 0, 0x0C, 0}));   // cover open and paper end
    ASSERT_TRUE(second.SendStatus({0x14, 0, 0x03, 0}));  // drawer pin high, near end
    ASSERT_TRUE(WaitUntil([&] { return g_heard.Of(a).size() == 1 && g_heard.Of(b).size() == 1; }));
    using Calls = std::vector<std::pair<int, void*>>;
    EXPECT_EQ(g_heard.Of(a), (Calls{{KESTO_STATE_COVER_OPEN | KESTO_STATE_PAPER_END, &tagA}}));
    EXPECT_EQ(g_heard.Of(b), (Calls{{KESTO_STATE_DRAWER_PIN_HIGH | KESTO_STATE_PAPER_NEAR_END, &tagB}}));
    EXPECT_EQ(KESTO_GetPrinterState(a), KESTO_STATE_COVER_OPEN | KESTO_STATE_PAPER_END);
    EXPECT_EQ(first.Received(), kAutomaticStatus);

    // Unregistered: no call once it returned; the same block again is no change either.
    ASSERT_EQ(KESTO_OnPrinterState(a, nullptr, nullptr), 1);
    ASSERT_TRUE(first.SendStatus({0x10, 0, 0, 0}) && second.SendStatus({0x14, 0, 0x03, 0}));
    ASSERT_TRUE(second.SendStatus({0x10, 0, 0, 0}));
    ASSERT_TRUE(WaitUntil([&] { return KESTO_GetPrinterState(a) == 0 && g_heard.Of(b).size() == 2; }));
    EXPECT_EQ(g_heard.Of(a).size(), 1u);
    EXPECT_EQ(g_heard.Of(b).back(), (std::pair<int, void*>{0, &tagB}));
    EXPECT_EQ(KESTO_DestroyDevicePointer(a) + KESTO_DestroyDevicePointer(b), 2);

    // The original codes: each printer's first block reports its own drawer pin.
    FakeTcpPrinter third, fourth;
    void* c = Open(third);
    void* d = Open(fourth);
    EXPECT_EQ(KESTO_GetLastError(c) + KESTO_GetLastError(d), 0);  // connects both
    ASSERT_TRUE(third.SendStatus({0x10, 0, 0, 0}) && fourth.SendStatus({0x10, 0, 0, 0}));
    EXPECT_EQ(KESTO_GetPrinterStatus(c), KESTO_STATUS_DRAWER_PIN_LOW);
    EXPECT_EQ(KESTO_GetPrinterStatus(d), KESTO_STATUS_DRAWER_PIN_LOW);
    EXPECT_EQ(KESTO_DestroyDevicePointer(c) + KESTO_DestroyDevicePointer(d), 2);
}

// The status thread reads the printer: the state comes from its blocks; a confirmation
// then makes the reader take over from a read already waiting, and the codes go on.
TEST(PrinterState, WithTheStatusThreadTheReaderTakesOverAndTheCodesGoOn) {
    FakeTcpPrinter printer;
    printer.Answer({0x12, 0x12, 0x12, 0x12});
    void* handle = Open(printer);
    ASSERT_EQ(KESTO_OnPrinterError(handle, RecordCode), 1);
    ASSERT_EQ(KESTO_CreateStatusThread(handle), 1);
    ASSERT_TRUE(printer.SendStatus({0x30, 0, 0, 0}));
    ASSERT_TRUE(WaitUntil([] { return g_code == KESTO_STATUS_COVER_OPEN; }));
    EXPECT_EQ(KESTO_GetPrinterState(handle), KESTO_STATE_COVER_OPEN);
    EXPECT_EQ(printer.Received(), kAutomaticStatus);

    ASSERT_TRUE(WaitUntil([] { return LogCount("Ethernet::Reading sock_fd") >= 2; }));
    std::vector<std::future<int>> waits;
    for (int i = 0; i < 4; ++i)
        waits.push_back(std::async(std::launch::async, [&] { return KESTO_WaitPrinted(handle, 20000); }));
    for (auto& wait : waits) EXPECT_EQ(wait.get(), 1);
    ASSERT_TRUE(printer.SendStatus({0x10, 0, 0, 0}));
    EXPECT_TRUE(WaitUntil([] { return g_code == KESTO_STATUS_COVER_CLOSED; }));
    EXPECT_TRUE(WaitUntil([&] { return KESTO_GetPrinterState(handle) == 0; }));
    EXPECT_EQ(printer.Received().find(kRealTime), std::string::npos);
    KESTO_DestroyStatusThread(handle);
    EXPECT_EQ(KESTO_DestroyDevicePointer(handle), 1);
}

TEST(PrinterState, ASilentPrinterIsNeverConfirmedAndNoTransportIsMinusOne) {
    FakeTcpPrinter printer;  // answers nothing
    void* handle = Open(printer);
    EXPECT_EQ(KESTO_GetPrinterState(handle), -1);
    EXPECT_EQ(KESTO_GetLastError(handle), ETIMEDOUT);
    EXPECT_EQ(KESTO_WaitPrinted(handle, 100), 0);
    EXPECT_EQ(Hex(printer.Received()), Hex(kRealTime + H("1D 28 48 06 00 30 30 30 30 30 30")));
    EXPECT_EQ(KESTO_DestroyDevicePointer(handle), 1);

    RecordingPrinter recording;  // a transport without a reader
    RefusedPort refused;
    std::string description = "<device><type>ETH</type><path>" + refused.Path() + "</path></device>";
    void* unreachable = KESTO_CreateDevicePointer(&description[0], static_cast<int>(description.size()));
    for (void* h : {static_cast<void*>(nullptr), recording.Handle(), unreachable}) {
        EXPECT_EQ(KESTO_GetPrinterState(h), -1);
        EXPECT_EQ(KESTO_OnPrinterState(h, Record, nullptr), -1);
        EXPECT_EQ(KESTO_WaitPrinted(h, 0), -1);
    }
    EXPECT_EQ(KESTO_DestroyDevicePointer(unreachable), 1);
}

}  // namespace
}  // namespace kesto::test
