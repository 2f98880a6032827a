#include "printer_core.h"

#include <algorithm>

namespace kesto::vprinter {
namespace {

void LineFeed(PrinterCore& p, const Command&) {
    p.Say("LF: print and feed one line");
    p.PrintLine(p.st.line_spacing);
}

void HorizontalTab(PrinterCore& p, const Command&) {
    p.Tab();
    p.Say("HT: next tab position");
}

void CarriageReturn(PrinterCore& p, const Command&) {
    p.Say("CR: ignored (automatic line feed is off)");
}

void FormFeed(PrinterCore& p, const Command&) {
    if (p.page_mode) {
        p.Say("FF: print the page and return to standard mode");
        p.PrintPage(true);
    } else {
        p.Say("FF: ignored in standard mode");
    }
}

void Cancel(PrinterCore& p, const Command&) {
    if (p.page_mode) {
        p.ClearLine();
        p.page_started = false;
        p.Say("CAN: page data cancelled");
    } else {
        p.Say("CAN: ignored in standard mode");
    }
}

void Nul(PrinterCore& p, const Command&) {
    p.Say("NUL: ignored");
}

const CommandHandler kControlHandlers[] = {
    {0x0A, LineFeed}, {0x09, HorizontalTab}, {0x0D, CarriageReturn},
    {0x0C, FormFeed}, {0x18, Cancel},        {0x00, Nul},
};

}  // namespace

void SetFlag(PrinterCore& p, bool& flag, uint8_t arg, const char* on, const char* off) {
    flag = Bit0(arg);
    p.Say(flag ? on : off);
}

bool InRange(PrinterCore& p, int n, int lo, int hi, const char* what) {
    if (n >= lo && n <= hi) return true;
    p.Say(Format("%s %d is out of range, ignored", what, n));
    return false;
}

PrinterCore::PrinterCore(VirtualPrinter& owner)
    : vp(owner), parser([this](const Command& c) { Receive(c); }) {
    Reset();
    NewReceipt();
}

void PrinterCore::Reset() {
    st = Settings{};
    kanji_code.clear();
    st.print_width = paper_width();
    st.page_area.w = paper_width();
    for (int c = 8; c < 256; c += 8) st.tabs.push_back(c);
    qr = StoredSymbol{};
    pdf = StoredSymbol{};
}

void PrinterCore::NewReceipt() {
    vp.current_ = Receipt{};
    vp.current_.number = ++receipt_count;
    vp.current_.paper.Resize(paper_width(), 0);
    paper_y = 0;
    printed = false;
}

void PrinterCore::DiscardReceipt() {
    --receipt_count;
    NewReceipt();
}

int PrinterCore::HDots(int units) const {
    int mu = st.motion_x > 0 ? st.motion_x : kDpi;
    return static_cast<int>((static_cast<long>(units) * kDpi + mu / 2) / mu);
}

int PrinterCore::VDots(int units) const {
    int mu = st.motion_y > 0 ? st.motion_y : kDpi;
    return static_cast<int>((static_cast<long>(units) * kDpi + mu / 2) / mu);
}

void PrinterCore::FinishReceipt(bool cut) {
    Receipt& r = vp.current_;
    r.cut = cut;
    if (!cut && paper_y == 0 && !printed) return DiscardReceipt();
    r.paper.EnsureHeight(std::max(paper_y, 1));
    if (vp.on_receipt_) vp.on_receipt_(r);
    vp.receipts_.push_back(std::move(r));
    if (vp.options_.max_kept > 0 && vp.receipts_.size() > vp.options_.max_kept)
        vp.receipts_.erase(vp.receipts_.begin());
    NewReceipt();
}

void PrinterCore::Cut(const std::string& what, int feed_dots) {
    if (page_mode) {
        Say(what + ": ignored in page mode");
        return;
    }
    FlushLine();
    Advance(feed_dots);
    Say(what);
    FinishReceipt(true);
}

void PrinterCore::DrawerPulse(int pin, int on, int off) {
    vp.current_.drawer_pulses++;
    Say(Format("drawer pulse on connector pin %d, on %d ms, off %d ms", pin, on * 2, off * 2));
    if (!vp.condition_.drawer_high) {
        Condition c = vp.condition_;
        c.drawer_high = true;  // the drawer springs open
        vp.SetCondition(c);
    }
}

void PrinterCore::Receive(const Command& c) {
    if (condition().power_off) return;
    // A printer reads on while it cannot print: real-time commands and GS a
    // act on arrival, everything else waits its turn.
    const bool at_once = c.kind == CommandKind::kDle || (c.kind == CommandKind::kGs && c.code == 'a');
    if (!at_once && Holding()) {
        held.push_back({c, false});
        held_bytes += held.back().size();
        return;
    }
    Apply(c);
}

void PrinterCore::Resume() {
    if (resuming) return;
    resuming = true;
    while (!held.empty() && !condition().Offline()) {
        HeldCommand h = std::move(held.front());
        held.pop_front();
        held_bytes -= h.size();
        if (h.end_of_stream)
            EndOfData();
        else
            Apply(h.command);
    }
    resuming = false;
}

void PrinterCore::PowerLoss() {
    size_t lost = 0;
    for (const HeldCommand& h : held) lost += h.end_of_stream ? 0 : 1;
    held.clear();
    held_bytes = 0;
    parser.Reset();
    page_mode = false;
    page_started = false;
    ClearLine();
    if (printed) Say(Format("power lost: %zu commands received and not printed are gone", lost));
    FinishReceipt(false);
}

void PrinterCore::PowerOn() {
    parser.Reset();
    Reset();
    asb = 0;
}

void PrinterCore::Apply(const Command& c) {
    if (!IsStatusCommand(c)) printed = true;
    switch (c.kind) {
        case CommandKind::kDle:
            return ApplyRealTime(*this, c);
        case CommandKind::kTruncated:
            return Say(c.data.empty() ? c.note : c.note + ": " + HexBytes(c.data) + " dropped");
        case CommandKind::kSkipped:
            return Say(CommandName(c) + ": " + c.note + ", " + std::to_string(c.payload_size) +
                       " bytes skipped");
        case CommandKind::kUnknown:
            return Say(c.note + ": " + HexBytes(c.data) + " skipped");
        default:
            break;
    }
    if (!st.enabled && !(c.kind == CommandKind::kEsc && c.code == '=')) {
        Say(CommandName(c) + ": ignored, printer disabled by ESC =");
        return;
    }
    switch (c.kind) {
        case CommandKind::kText:
            Say("text " + QuoteUtf8(AddText(c.data)));
            return;
        case CommandKind::kControl:
            Dispatch(kControlHandlers, c.code, *this, c);
            return;
        case CommandKind::kEsc:
            return ApplyEsc(*this, c);
        case CommandKind::kGs:
            return ApplyGs(*this, c);
        case CommandKind::kFs:
            return ApplyFs(*this, c);
        default:
            return;
    }
}

void PrinterCore::EndOfStream() {
    parser.Finish();
    if (condition().power_off) return;
    if (Holding()) {
        held.push_back({Command{}, true});
        held_bytes += held.back().size();
        return;
    }
    EndOfData();
}

void PrinterCore::EndOfData() {
    if (page_mode) {
        Say("end of data in page mode: page discarded");
        page_mode = false;
        page_started = false;
        line.clear();
    }
    if (FlushLine()) Say("end of data: line buffer printed");
    FinishReceipt(false);
}

}  // namespace kesto::vprinter
