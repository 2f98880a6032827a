// The printer's state and the print confirmation against the virtual printer:
// every condition as the automatic status block carries it to each printer's own
// callback, and receipts confirmed, held while the paper is out, lost to a power loss.
#include <future>

#include "tools/virtual-printer/vp_support.h"

namespace kesto::vprinter::test {
namespace {

std::mutex g_mutex;
std::map<void*, std::vector<std::pair<void*, int>>> g_heard;  // user data and state, per handle
void RecordState(void* handle, int state, void* userData) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_heard[handle].emplace_back(userData, state);
}
std::vector<std::pair<void*, int>> Heard(void* handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_heard[handle];
}

TEST(PrinterStateEndToEnd, EveryConditionReachesItsOwnPrintersCallback) {
    LocalPrinter printers[2];
    Handle handles[2] = {Open(printers[0].Address()), Open(printers[1].Address())};
    int tags[2];
    for (int i = 0; i < 2; ++i) ASSERT_EQ(KESTO_OnPrinterState(handles[i].get(), RecordState, &tags[i]), 1);
    constexpr int kOff = KESTO_STATE_OFFLINE;
    const std::tuple<const char*, const char*, int> rows[] = {
        {"cover-open", "cover-close", KESTO_STATE_COVER_OPEN | kOff},
        {"paper-near-end", "paper-ok", KESTO_STATE_PAPER_NEAR_END},
        {"paper-end", "paper-ok", KESTO_STATE_PAPER_END | KESTO_STATE_PAPER_NEAR_END | kOff},
        {"drawer-open", "drawer-close", KESTO_STATE_DRAWER_PIN_HIGH},
        {"offline", "online", kOff},
        {"feed-press", "feed-release", KESTO_STATE_FEED_BUTTON | kOff},
        {"waiting-recovery", "recover", KESTO_STATE_WAITING_RECOVERY | kOff},
        {"cutter-error", "recover", KESTO_STATE_CUTTER_ERROR | kOff},
        {"auto-recoverable-error", "recover", KESTO_STATE_AUTO_RECOVERABLE_ERROR | kOff},
        {"unrecoverable-error", "cover-open", KESTO_STATE_UNRECOVERABLE_ERROR | kOff}};
    std::vector<std::pair<void*, int>> expected[2] = {{{&tags[0], 0}}, {{&tags[1], 0}}};
    for (int i = 0; i < 2; ++i)  // the state as automatic status back starts
        ASSERT_TRUE(kesto::test::WaitUntil([&] { return Heard(handles[i].get()) == expected[i]; }));
    for (size_t row = 0; row < std::size(rows); ++row) {
        const auto& [set, next, bits] = rows[row];
        const size_t i = row % 2;  // the other printer hears nothing of it
        printers[i].server.Control(set);
        expected[i].emplace_back(&tags[i], bits);
        EXPECT_TRUE(kesto::test::WaitUntil([&] { return Heard(handles[i].get()) == expected[i]; })) << set;
        EXPECT_EQ(KESTO_GetPrinterState(handles[i].get()), bits) << set;
        printers[i].server.Control(next);
        expected[i].emplace_back(&tags[i],
                                 std::string(next) == "cover-open" ? bits | KESTO_STATE_COVER_OPEN : 0);
        EXPECT_TRUE(kesto::test::WaitUntil([&] { return Heard(handles[i].get()) == expected[i]; })) << next;
    }
    // Unregistered: once the call returned, nothing more is heard.
    EXPECT_EQ(KESTO_OnPrinterState(handles[0].get(), nullptr, nullptr), 1);
    printers[0].server.Control("paper-end");
    EXPECT_TRUE(kesto::test::WaitUntil([&] { return KESTO_GetPrinterState(handles[0].get()) != 0; }));
    EXPECT_EQ(Heard(handles[0].get()), expected[0]);
}

std::string Text(const Receipt& r) {
    std::string text;
    for (const std::string& line : r.LineTexts()) text += line + "/";
    return text;
}

TEST(PrinterStateEndToEnd, ConfirmedHeldWhileThePaperIsOutAndLostToAPowerLoss) {
    LocalPrinter printer;
    Handle h = Open(printer.Address());
    EXPECT_EQ(KESTO_PrintText(h.get(), "first", 5, false), 13);
    EXPECT_EQ(KESTO_WaitPrinted(h.get(), 20000), 1);
    printer.server.Control("paper-end");
    EXPECT_EQ(KESTO_PrintText(h.get(), "second", 6, false), 14);
    EXPECT_EQ(KESTO_WaitPrinted(h.get(), 300), 0);
    EXPECT_EQ(KESTO_GetPrinterState(h.get()) & KESTO_STATE_PAPER_END, KESTO_STATE_PAPER_END);
    EXPECT_EQ(KESTO_PrintText(h.get(), "third", 5, false), 13);
    std::vector<std::future<int>> waits;  // several threads of the till at once
    for (int i = 0; i < 3; ++i)
        waits.push_back(std::async(std::launch::async, [&] { return KESTO_WaitPrinted(h.get(), 20000); }));
    printer.server.Control("paper-ok");
    for (auto& wait : waits) EXPECT_EQ(wait.get(), 1);
    KESTO_CutPaper(h.get());
    printer.server.Control("power-off");
    EXPECT_EQ(KESTO_PrintText(h.get(), "lost", 4, false), 12);
    EXPECT_EQ(KESTO_WaitPrinted(h.get(), 300), 0);
    EXPECT_EQ(KESTO_GetPrinterState(h.get()), -1);
    printer.server.Control("power-on");
    EXPECT_EQ(KESTO_WaitPrinted(h.get(), 20000), 1);
    h.reset();
    const std::vector<Receipt> r = printer.Receipts(1);
    EXPECT_EQ(Text(r[0]), "first/second/third/");  // whole, each once
    for (const Receipt& other : r) EXPECT_EQ(Text(other).find("lost"), std::string::npos);
}

std::string Kesto(const std::string& address, std::vector<std::string> args) {
    args.insert(args.begin(), {KESTO_CLI, "--tcp", address});
    Child kesto(args);
    const int status = kesto.Finish();
    return kesto.output + "exit " + std::to_string(status);
}

TEST(PrinterStateEndToEnd, TheToolTellsTheWholeStateAndWhetherTheReceiptPrinted) {
    LocalPrinter printer;
    printer.server.Control("cover-open");
    printer.server.Control("drawer-open");
    EXPECT_EQ(Kesto(printer.Address(), {"status"}),
              "7 cover open\nstate: off-line, cover open, drawer pin 3 high\nexit 0");
    printer.server.Control("cover-close");
    EXPECT_EQ(Kesto(printer.Address(), {"print", "--wait", "sold"}), "printed\nexit 0");
    printer.server.Control("power-off");
    EXPECT_EQ(Kesto(printer.Address(), {"print", "--wait", "gone"}),
              "not printed within 10 s: the printer does not answer\nexit 2");
}

}  // namespace
}  // namespace kesto::vprinter::test
