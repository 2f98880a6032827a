// What the printer tells the host: automatic status blocks (GS a), real-time
// status (DLE EOT), GS r, and the other real-time commands (DLE ENQ, DLE DC4).
#include "printer_core.h"

namespace kesto::vprinter {

std::vector<uint8_t> StatusBlock(const Condition& c) {
    uint8_t b1 = 0x10;
    if (c.drawer_high) b1 |= 0x04;
    if (c.Offline()) b1 |= 0x08;
    if (c.cover_open) b1 |= 0x20;
    uint8_t b3 = 0;
    if (c.paper_near_end) b3 |= 0x03;
    if (c.paper_end) b3 |= 0x0C;
    return {b1, 0x00, b3, 0x00};
}

bool RealTimeStatus(const Condition& c, int n, uint8_t* out) {
    uint8_t v = 0x12;  // bits 1 and 4 are always set
    switch (n) {
        case 1:  // printer
            if (c.drawer_high) v |= 0x04;
            if (c.Offline()) v |= 0x08;
            break;
        case 2:  // off-line cause
            if (c.cover_open) v |= 0x04;
            if (c.paper_end) v |= 0x20;
            break;
        case 3:  // errors: none are simulated
            break;
        case 4:  // paper roll sensor
            if (c.paper_near_end) v |= 0x0C;
            if (c.paper_end) v |= 0x60;
            break;
        default:
            return false;
    }
    *out = v;
    return true;
}

void PrinterCore::Reply(const uint8_t* bytes, size_t n) {
    if (vp.reply_) vp.reply_(bytes, n);
}

void PrinterCore::SendStatus() {
    if (!vp.reply_) return;
    std::vector<uint8_t> b = StatusBlock(condition());
    Reply(b.data(), b.size());
}

void VirtualPrinter::SetCondition(const Condition& c) {
    Condition old = condition_;
    condition_ = c;
    uint8_t groups = 0;
    if (old.drawer_high != c.drawer_high) groups |= 0x01;
    if (old.Offline() != c.Offline() || old.cover_open != c.cover_open) groups |= 0x02 | 0x04;
    if (old.paper_near_end != c.paper_near_end || old.paper_end != c.paper_end) groups |= 0x08;
    if (groups & core_->asb) core_->SendStatus();
}

void SetAutomaticStatus(PrinterCore& p, const Command& c) {
    const uint8_t mask = c.args[0];
    p.asb = mask;
    p.Say(mask ? Format("GS a: automatic status back on, mask 0x%02X", mask)
               : "GS a: automatic status back off");
    if (mask) p.SendStatus();
}

void ReplyTransmitStatus(PrinterCore& p, const Command& c) {
    const Condition& cond = p.condition();
    int n = Digit(c.args[0]);
    uint8_t v = 0;
    if (n == 1) {
        if (cond.paper_near_end) v |= 0x03;
        if (cond.paper_end) v |= 0x0C;
    } else if (n == 2) {
        if (!cond.drawer_high) v |= 0x01;
    } else {
        p.Say(Format("GS r: status %d unknown, no answer", n));
        return;
    }
    p.Reply(&v, 1);
    p.Say(Format("GS r: %s status sent, 0x%02X", n == 1 ? "paper sensor" : "drawer", v));
}

namespace {

void TransmitRealTimeStatus(PrinterCore& p, const Command& c) {
    int n = c.args[0];
    uint8_t v = 0;
    if (!RealTimeStatus(p.condition(), n, &v)) {
        p.Say(Format("DLE EOT %d: unknown status, no answer", n));
        return;
    }
    static const char* const kWhat[] = {"", "printer", "off-line cause", "error", "paper roll sensor"};
    p.Reply(&v, 1);
    p.Say(Format("DLE EOT %d: %s status sent, 0x%02X", n, kWhat[n], v));
}

void RecoverFromError(PrinterCore& p, const Command& c) {
    int n = c.args[0];
    if (n == 2) {
        p.ClearLine();
        p.Say("DLE ENQ 2: recover from error, buffers cleared");
    } else if (n == 1) {
        p.Say("DLE ENQ 1: recover from error and restart printing");
    } else {
        p.Say(Format("DLE ENQ %d: unknown, ignored", n));
    }
}

void GeneratePulse(PrinterCore& p, const Command& c) {
    const auto& a = c.args;
    if (a[0] == 1)
        p.DrawerPulse(a[1] == 0 ? 2 : 5, a[2] * 50, a[2] * 50);
    else
        p.Say(Format("DLE DC4 %d: not supported, ignored", a[0]));
}

const CommandHandler kRealTimeHandlers[] = {
    {0x04, TransmitRealTimeStatus},
    {0x05, RecoverFromError},
    {0x14, GeneratePulse},
};

}  // namespace

void ApplyRealTime(PrinterCore& p, const Command& c) {
    Dispatch(kRealTimeHandlers, c.code, p, c);
}

}  // namespace kesto::vprinter
