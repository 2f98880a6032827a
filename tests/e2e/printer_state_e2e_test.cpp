// The printer's state and the print confirmation against the virtual printer:
// every condition as the real-time replies and the automatic status block
// carry it, and receipts confirmed, held while the paper is out, lost to a power loss.
#include <future>

#include "tools/virtual-printer/vp_support.h"

namespace kesto::vprinter::test {
namespace {

std::mutex g_mutex;
std::vector<int> g_states;
void RecordState(void*, int state, void*) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_states.push_back(state);
}
int LastState() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_states.empty() ? -1 : g_states.back();
}
size_t Heard() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_states.size();
}

// One printer is asked (real-time status), the other tells (automatic status, callback).
TEST(PrinterStateEndToEnd, EveryConditionReadsAsItsBitsAskedAndTold) {
    LocalPrinter asked, told;
    Handle a = Open(asked.Address()), t = Open(told.Address());
    ASSERT_EQ(KESTO_OnPrinterState(t.get(), RecordState, nullptr), 1);
    ASSERT_TRUE(kesto::test::WaitUntil([] { return LastState() == 0; }));
    enum : int { kOff = KESTO_STATE_OFFLINE };
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
    };
    for (const auto& [set, clear, bits] : rows) {
        for (LocalPrinter* p : {&asked, &told}) p->server.Control(set);
        EXPECT_EQ(KESTO_GetPrinterState(a.get()), bits) << set;
        EXPECT_TRUE(kesto::test::WaitUntil([&] { return LastState() == bits; })) << set;
        EXPECT_EQ(KESTO_GetPrinterState(t.get()), bits) << set;
        for (LocalPrinter* p : {&asked, &told}) p->server.Control(clear);
        EXPECT_EQ(KESTO_GetPrinterState(a.get()), 0) << clear;
        EXPECT_TRUE(kesto::test::WaitUntil([&] { return LastState() == 0; })) << clear;
    }
    asked.server.Control("unrecoverable-error");
    asked.server.Control("cover-open");
    EXPECT_EQ(KESTO_GetPrinterState(a.get()),
              KESTO_STATE_UNRECOVERABLE_ERROR | KESTO_STATE_COVER_OPEN | kOff);
    EXPECT_EQ(KESTO_OnPrinterState(t.get(), nullptr, nullptr), 1);
    const size_t heard = Heard();
    told.server.Control("cover-open");
    EXPECT_TRUE(kesto::test::WaitUntil([&] { return KESTO_GetPrinterState(t.get()) != 0; }));
    EXPECT_EQ(Heard(), heard);
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
    // Several tills' threads wait at once; the refill lets all of them through.
    std::vector<std::future<int>> waits;
    for (int i = 0; i < 3; ++i)
        waits.push_back(std::async(std::launch::async, [&] { return KESTO_WaitPrinted(h.get(), 20000); }));
    printer.server.Control("paper-ok");
    for (auto& wait : waits) EXPECT_EQ(wait.get(), 1);
    KESTO_CutPaper(h.get());
    EXPECT_EQ(KESTO_WaitPrinted(h.get(), 20000), 1);

    printer.server.Control("power-off");
    EXPECT_EQ(KESTO_PrintText(h.get(), "lost", 4, false), 12);
    EXPECT_EQ(KESTO_WaitPrinted(h.get(), 300), 0);
    EXPECT_EQ(KESTO_GetPrinterState(h.get()), -1);
    printer.server.Control("power-on");
    EXPECT_EQ(KESTO_WaitPrinted(h.get(), 20000), 1);
    h.reset();
    const std::vector<Receipt> r = printer.Receipts(1);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(Text(r[0]), "first/second/third/");  // whole, each once, and nothing of the lost one
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
    EXPECT_EQ(Kesto(printer.Address(), {"status", "--all"}),
              "off-line, cover open, drawer pin 3 high\nexit 0");
    printer.server.Control("cover-close");
    EXPECT_EQ(Kesto(printer.Address(), {"print", "--wait", "sold"}), "printed\nexit 0");
    printer.server.Control("power-off");
    EXPECT_EQ(Kesto(printer.Address(), {"print", "--wait", "gone"}),
              "not printed within 10 s: the printer does not answer\nexit 2");
}

}  // namespace
}  // namespace kesto::vprinter::test
